// What the controller does instead of the described faults: a failed or cancelled start is no
// conversion, an existing output survives until the writer really replaces it, the input is never
// touched, the normalization phase always ends, closing loses nothing, and there is no second start.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "controller_fixture.h"
#include "engine_parts.h"
#include "platform/msacm/msacm.h"
#include "qelpsnd.h"
#include "support/paths.h"

using namespace controller_test;
using State = CConversionController::State;

namespace {

int g_chooserCalls = 0;

MMRESULT cancel_choice(ACMFORMATCHOOSEA*, const AcmFormatOffer*, size_t, void*)
{
    ++g_chooserCalls;
    return ACMERR_CANCELED;
}

// While the chooser is open: what the buttons show, and what a second Start or a close does.
struct DuringChoice {
    FakeUi* ui = nullptr;
    CConversionController* controller = nullptr;
    std::map<int, bool> enabled;
    bool closeAllowed = true;
};

MMRESULT look_around(ACMFORMATCHOOSEA* afc, const AcmFormatOffer* offers, size_t count, void* user)
{
    ++g_chooserCalls;
    auto* during = static_cast<DuringChoice*>(user);
    during->enabled = during->ui->enabled;
    during->controller->OnStart();  // a second click on Start
    during->closeAllowed = during->controller->OnClose();
    return count > 0 ? acmFormatOfferTake(afc, &offers[0]) : ACMERR_CANCELED;
}

}  // namespace

class StartFaultTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        g_chooserCalls = 0;
    }
    // No timer was ever started and the bar never left its idle animation.
    void expect_no_run()
    {
        EXPECT_EQ(ui.timerStarts, 0);
        EXPECT_TRUE(ui.idle);
        for (const std::string& s : ui.statusHistory) {
            EXPECT_NE(s, CConversionController::kTextRunning);
        }
    }
};

TEST_F(StartFaultTest, CancelledFormatChoiceLeavesTheOldFileAndReturnsToReady)
{
    choose("stereo_48k_192.ac3", "existing.wav");
    const std::vector<char> precious{'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    write_bytes(ui.controls.m_wavPath, precious);
    acmSetFormatChooser(cancel_choice, nullptr, 0);
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(g_chooserCalls, 1);
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready();  // "start convert now"
    expect_no_run();
    EXPECT_EQ(read_bytes(ui.controls.m_wavPath), precious);
    EXPECT_TRUE(ui.deleted.empty());
}

TEST_F(StartFaultTest, ExistingOutputIsReplacedWhenTheWriterCreatesIt)
{
    choose("stereo_48k_192.ac3", "existing.wav");
    write_bytes(ui.controls.m_wavPath, std::vector<char>(100000, 'x'));
    CConversionController c(ui);
    c.OnStart();
    ASSERT_EQ(c.GetState(), State::Converting) << ui.status;
    run_conversion(c);
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataBytes, 63u * 6144u);
}

TEST_F(StartFaultTest, UncreatableOutputIsSaidAndNothingRuns)
{
    choose("stereo_48k_192.ac3", "no such folder/out.wav");
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_no_run();
    EXPECT_NE(ui.status.find("no such folder/out.wav"), std::string::npos) << ui.status;
    EXPECT_TRUE(ui.flashing);
    EXPECT_TRUE(ui.enabled[IDC_START_CONVERT]);
    EXPECT_TRUE(ui.enabled[IDC_EXIT]);
    EXPECT_FALSE(ui.enabled[IDC_CANCEL_CONVERT]);
}

TEST_F(StartFaultTest, MissingInputIsReportedAndTheOutputKept)
{
    choose(dir + "/gone.ac3", "existing.wav");
    const std::vector<char> precious{'o', 'l', 'd'};
    write_bytes(ui.controls.m_wavPath, precious);
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_no_run();
    EXPECT_EQ(g_chooserCalls, 0);
    EXPECT_NE(ui.status.find("gone.ac3"), std::string::npos) << ui.status;
    EXPECT_EQ(read_bytes(ui.controls.m_wavPath), precious);
}

TEST_F(StartFaultTest, UnreadableInputIsReported)
{
    if (geteuid() == 0) {
        // root reads any file: a folder stands in for an unreadable input instead.
        std::filesystem::create_directory(dir + "/folder.ac3");
        choose(dir + "/folder.ac3", "out.wav");
    } else {
        write_bytes(dir + "/locked.ac3", read_bytes(qelp_test::data_path("stereo_48k_192.ac3")));
        chmod((dir + "/locked.ac3").c_str(), 0);
        choose(dir + "/locked.ac3", "out.wav");
    }
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_no_run();
    EXPECT_FALSE(ui.status.empty());
    EXPECT_NE(ui.status, CConversionController::kTextReady);
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.wav"));
}

TEST_F(StartFaultTest, OutputNamingTheInputIsRefusedAlsoThroughALink)
{
    const std::string input = dir + "/input.ac3";
    const std::vector<char> original = read_bytes(qelp_test::data_path("stereo_48k_192.ac3"));
    write_bytes(input, original);
    ASSERT_EQ(symlink(input.c_str(), (dir + "/link.wav").c_str()), 0);

    for (const std::string& out : {std::string("input.ac3"), std::string("link.wav")}) {
        SCOPED_TRACE(out);
        choose(input, out);
        CConversionController c(ui);
        c.OnStart();
        EXPECT_EQ(c.GetState(), State::Ready);
        EXPECT_EQ(g_chooserCalls, 0);
        EXPECT_NE(ui.status.find(out), std::string::npos) << ui.status;
        EXPECT_EQ(read_bytes(input), original);
    }
    expect_no_run();
}

TEST_F(StartFaultTest, NoSecondStartWhileTheFormatChoiceIsOpen)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    DuringChoice during;
    during.ui = &ui;
    during.controller = &c;
    acmSetFormatChooser(look_around, &during, 0);
    c.OnStart();
    EXPECT_EQ(g_chooserCalls, 1);  // the second click did not open a second choice
    EXPECT_FALSE(during.closeAllowed);
    for (int id : {IDC_START_CONVERT, IDC_EXIT, IDC_BROWSE_AC3, IDC_BROWSE_WAV, IDC_CANCEL_CONVERT}) {
        EXPECT_FALSE(during.enabled[id]) << id;
    }
    ASSERT_EQ(c.GetState(), State::Converting);
    run_conversion(c);
    expect_ready("done: 63 frames");
}

TEST_F(StartFaultTest, NormalizationThatIsNotNeededEndsInReady)
{
    // A clipped pulse train decodes to a peak at full scale: the worker finds nothing to do and
    // ends without reporting completion.
    const std::string pulses = dir + "/pulses.ac3";
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i "
        "\"aevalsrc=exprs='if(lt(mod(t*100\\,1)\\,0.1)\\,1\\,-0.05)|if(lt(mod(t*100\\,1)\\,0.1)\\,1\\,-0.05)'"
        ":s=48000:d=0.5\" -c:a ac3 -b:a 192k \"" + pulses + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << "ffmpeg makes the fixture: " << command;
    choose(pulses, "pulses.wav", 1);
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    ASSERT_EQ(c.GetState(), State::ScanningPeaks);
    finish_normalization(c);
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready("done: " + std::to_string(ac3_frames(pulses)) + " frames, no amplification required");
    EXPECT_TRUE(read_wave(ui.controls.m_wavPath).valid);
}

TEST_F(StartFaultTest, ClosingDuringAConversionKeepsAValidShorterFile)
{
    choose("3f2r_lfe_48k_448.ac3", "closed.wav", 1);
    {
        CConversionController c(ui);
        c.OnStart();
        c.OnTimer();
        EXPECT_TRUE(c.OnClose());
        EXPECT_EQ(c.GetState(), State::Ready);
        EXPECT_FALSE(ui.timerRunning);
        const WaveFile wave = read_wave(ui.controls.m_wavPath);  // complete before the engine goes
        ASSERT_TRUE(wave.valid);
        EXPECT_EQ(wave.dataBytes, 25u * 6144u);
    }

    // Destroyed mid-way without OnClose: the same.
    choose("3f2r_lfe_48k_448.ac3", "destroyed.wav");
    {
        CConversionController c(ui);
        c.OnStart();
        c.OnTimer();
        c.OnTimer();
    }
    const WaveFile destroyed = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(destroyed.valid);
    EXPECT_EQ(destroyed.dataBytes, 50u * 6144u);
}

TEST_F(StartFaultTest, ClosingDuringANormalizationWaitsForTheWorker)
{
    const std::string big = dir + "/big.ac3";
    make_ac3_of_size(big, 768 * 2000);  // a minute of audio: the worker is still busy at close
    choose(big, "big.wav", 1);
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    ASSERT_EQ(c.GetState(), State::ScanningPeaks);
    EXPECT_TRUE(c.OnClose());
    EXPECT_NE(c.m_engine.GetNormExit(), QELP_NORM_RUNNING);
    EXPECT_EQ(c.m_engine.GetNormExit(), 0);  // it finished its work, it was not cut short
    EXPECT_TRUE(read_wave(ui.controls.m_wavPath).valid);
}

TEST_F(StartFaultTest, AFailedWriteIsSaidAndTheFileNotNormalized)
{
  // The writer stops at a size limit as it would on a full disk.
  choose("stereo_48k_192.ac3", "limited.wav", 1);
  CConversionController c(ui);
  qelp::EngineParts::of(c.m_engine).writer.set_size_limit(10 * 6144);
  c.OnStart();
  run_conversion(c);
  EXPECT_EQ(c.GetState(), State::Ready);
  EXPECT_NE(ui.status.find("limited.wav"), std::string::npos) << ui.status;
  EXPECT_TRUE(ui.flashing);
  EXPECT_FALSE(ui.timerRunning);
  EXPECT_TRUE(ui.enabled[IDC_START_CONVERT]);
  for (const std::string& s : ui.statusHistory) {
    EXPECT_NE(s, CConversionController::kTextScanning);
  }
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);  // what was written is still a valid file
    EXPECT_LE(wave.dataBytes, 10u * 6144u);
}
