// No silent overwrite: Start asks before an existing WAVE file is replaced unless the file dialog
// confirmed it as it is now; No leaves everything as it was; a file that appears during the
// format choice is not replaced.
#include <filesystem>

#include "controller_fixture.h"
#include "platform/msacm/msacm.h"
#include "qelpsnd.h"
#include "support/paths.h"

using namespace controller_test;
using State = CConversionController::State;

namespace {

int g_chooserCalls = 0;
std::string g_appearing;

MMRESULT first_format(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void*)
{
    ++g_chooserCalls;
    return count > 0 ? acmFormatOfferTake(afc, &offers[0]) : ACMERR_CANCELED;
}

// Another program writes the output file while the user picks the format.
MMRESULT meanwhile_the_file_appears(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void*)
{
    write_bytes(g_appearing, {'t', 'h', 'e', 'i', 'r', 's'});
    return first_format(afc, offers, count, nullptr);
}

class ReplaceQuestionTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        g_chooserCalls = 0;
        acmSetFormatChooser(first_format, nullptr, 0);
    }
    const std::vector<char> precious{'m', 'i', 'n', 'e'};
};

}  // namespace

TEST_F(ReplaceQuestionTest, NoLeavesTheFileAndStartsNothing)
{
    choose("stereo_48k_192.ac3", "existing.wav");
    write_bytes(ui.controls.m_wavPath, precious);
    ui.replaceAnswer = false;
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(ui.askedReplace, std::vector<std::string>{ui.controls.m_wavPath});
    EXPECT_EQ(g_chooserCalls, 0);
    EXPECT_EQ(c.GetState(), State::Ready);
    EXPECT_EQ(ui.timerStarts, 0);
    expect_ready();  // "start convert now"
    EXPECT_EQ(read_bytes(ui.controls.m_wavPath), precious);
}

TEST_F(ReplaceQuestionTest, YesReplacesTheFile)
{
    choose("stereo_48k_192.ac3", "existing.wav");
    write_bytes(ui.controls.m_wavPath, precious);
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(ui.askedReplace.size(), 1u);
    ASSERT_EQ(c.GetState(), State::Converting) << ui.status;
    run_conversion(c);
    EXPECT_EQ(read_wave(ui.controls.m_wavPath).dataBytes, 63u * 6144u);
}

TEST_F(ReplaceQuestionTest, AConfirmedFileIsReplacedWithoutAQuestionAndANewOneNeedsNone)
{
    choose("stereo_48k_192.ac3", "confirmed.wav");
    write_bytes(ui.controls.m_wavPath, precious);
    ui.controls.m_wavConfirmed = true;  // the save dialog asked
    CConversionController c(ui);
    c.OnStart();
    EXPECT_TRUE(ui.askedReplace.empty());
    run_conversion(c);
    EXPECT_TRUE(read_wave(ui.controls.m_wavPath).valid);

    choose("stereo_48k_192.ac3", "new.wav");
    ui.controls.m_wavConfirmed = false;
    c.OnStart();
    EXPECT_TRUE(ui.askedReplace.empty());
    run_conversion(c);
    EXPECT_TRUE(read_wave(ui.controls.m_wavPath).valid);
}

TEST_F(ReplaceQuestionTest, AFileThatAppearsDuringTheFormatChoiceIsNotReplaced)
{
    choose("stereo_48k_192.ac3", "appearing.wav");
    g_appearing = ui.controls.m_wavPath;
    acmSetFormatChooser(meanwhile_the_file_appears, nullptr, 0);
    CConversionController c(ui);
    c.OnStart();
    EXPECT_TRUE(ui.askedReplace.empty());  // there was nothing to ask about at Start
    EXPECT_EQ(c.GetState(), State::Ready);
    EXPECT_EQ(c.m_engine.m_lastError, QELP_ERR_EXISTS);
    EXPECT_TRUE(ui.alert);
    EXPECT_NE(ui.status.find("appearing.wav"), std::string::npos) << ui.status;
    EXPECT_EQ(read_bytes(g_appearing), (std::vector<char>{'t', 'h', 'e', 'i', 'r', 's'}));
}

TEST_F(ReplaceQuestionTest, TheInputNamedAsOutputIsRefusedWithoutAQuestion)
{
    const std::string input = dir + "/input.ac3";
    write_bytes(input, read_bytes(qelp_test::data_path("stereo_48k_192.ac3")));
    choose(input, "input.ac3");
    CConversionController c(ui);
    c.OnStart();
    EXPECT_TRUE(ui.askedReplace.empty());
    EXPECT_EQ(c.m_engine.m_lastError, QELP_ERR_SAME_FILE);
    EXPECT_TRUE(ui.alert);
}
