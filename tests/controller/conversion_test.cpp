// A conversion driven by the controller: the state table, 25 frames per tick, the texts after
// every frame, the end of the stream, Cancel, and a second run with other options.
#include <cstdio>
#include <set>

#include "controller_fixture.h"
#include "qelpsnd.h"
#include "support/paths.h"

using namespace controller_test;
using State = CConversionController::State;

TEST_F(ControllerTest, StartEntersConvertingAndTheEndLeadsToReady)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    c.OnStart();
    ASSERT_EQ(c.GetState(), State::Converting) << ui.status;
    expect_converting(48384);
    EXPECT_EQ(ui.pos, 0);
    EXPECT_EQ(c.m_frameCount, 0);
    EXPECT_FALSE(c.m_normalizing);

    run_conversion(c);
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready("done: 63 frames");
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataBytes, 63u * 6144u);
    EXPECT_TRUE(ui.deleted.empty());
}

TEST_F(ControllerTest, TwentyFiveCallsPerTickAndTheStopAtTheFirstZero)
{
    const int frames = ac3_frames(qelp_test::data_path("stereo_48k_192.ac3"));
    ASSERT_EQ(frames, 63);
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    c.OnStart();

    c.OnTimer();
    EXPECT_EQ(c.m_frameCount, 25);
    EXPECT_EQ(ui.shown.size(), 25u);  // the display after every frame, not once per tick
    EXPECT_EQ(ui.controls.m_framesText, "        25");
    EXPECT_EQ(ui.pos, static_cast<int>(c.m_engine.m_inputPosition));
    EXPECT_GT(ui.pos, 0);
    c.OnTimer();
    EXPECT_EQ(c.m_frameCount, 50);
    EXPECT_EQ(c.GetState(), State::Converting);

    // The third tick converts 13 frames; its 14th call returns 0 and no call follows.
    c.OnTimer();
    EXPECT_EQ(c.GetState(), State::Ready);
    EXPECT_EQ(c.m_frameCount, 64);
    EXPECT_EQ(ui.shown.size(), 63u);
    EXPECT_EQ(ui.controls.m_framesText, "        63");
    c.OnTimer();  // a tick still queued changes nothing
    EXPECT_EQ(c.m_frameCount, 64);
    expect_ready("done: 63 frames");
}

TEST_F(ControllerTest, FramesTextIsRightAlignedInTenCharacters)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    ASSERT_GE(ui.shown.size(), 37u);
    EXPECT_EQ(ui.shown[36].m_framesText, "        37");
    EXPECT_EQ(ui.shown[0].m_framesText, "         1");
    EXPECT_EQ(ui.shown[0].m_bytesText, "0 MB");
}

TEST_F(ControllerTest, MebibytesAreRoundedDown)
{
    const std::string justUnder = dir + "/under_1mib.ac3";
    make_ac3_of_size(justUnder, 1048575);
    choose(justUnder, "under.wav");
    {
        CConversionController c(ui);
        c.OnStart();
        ASSERT_EQ(c.GetState(), State::Converting) << ui.status;
        run_conversion(c);
        std::set<std::string> positions;
        for (const CConverterValues& v : ui.shown) {
            positions.insert(v.m_positionText);
        }
        EXPECT_EQ(positions, std::set<std::string>{"0 MB von 0 MB"});
        EXPECT_GT(ui.shown.size(), 1300u);
        // 1365 frames of 6144 bytes make 8 MiB of PCM: the bytes text counts them in whole MiB.
        EXPECT_EQ(ui.shown.back().m_bytesText, std::to_string((ui.shown.size() * 6144) >> 20) + " MB");
    }

    const std::string five = dir + "/five_million.ac3";
    make_ac3_of_size(five, 5000000);
    choose(five, "five.wav");
    ui.shown.clear();
    CConversionController c(ui);
    c.OnStart();
    expect_converting(5000000);
    c.OnTimer();
    EXPECT_EQ(ui.controls.m_positionText, "0 MB von 4 MB");
    c.OnCancel();
}

TEST_F(ControllerTest, ElapsedTimeFollowsTheClockWithinTheDay)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    const std::int64_t start = ui.now;
    c.OnStart();
    EXPECT_EQ(c.m_startTime, start);
    ui.now = start + 86400 + 3600 + 60 + 1;
    c.OnTimer();
    EXPECT_EQ(c.m_now, ui.now);
    EXPECT_EQ(ui.controls.m_timeText, "01:01:01");
    ui.now = start + 59;
    c.OnTimer();
    EXPECT_EQ(ui.controls.m_timeText, "00:00:59");
}

TEST_F(ControllerTest, CancelWithoutNormalizationIsReadyAtOnce)
{
    choose("3f2r_lfe_48k_448.ac3", "cancelled.wav");
    CConversionController c(ui);
    c.OnStart();
    c.OnTimer();
    c.OnCancel();
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready("cancelled: 25 frames kept in cancelled.wav");
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataBytes, 25u * 6144u);  // exactly the frames converted before Cancel
    c.OnCancel();                            // Cancel in Ready does nothing
    expect_ready("cancelled: 25 frames kept in cancelled.wav");
}

TEST_F(ControllerTest, CancelWithNormalizationNormalizesTheShorterFile)
{
    choose("3f2r_lfe_48k_448.ac3", "cancelled.wav", 1);
    CConversionController c(ui);
    c.OnStart();
    c.OnTimer();
    c.OnCancel();
    EXPECT_EQ(c.GetState(), State::ScanningPeaks);
    EXPECT_TRUE(c.m_normalizing);
    expect_scanning();
    EXPECT_EQ(ui.pos, 0);

    finish_normalization(c);
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready(with_gain("cancelled: 25 frames kept in cancelled.wav"));
    // The gain pass was announced before completion, in the "applying gain" row of the table.
    ASSERT_GE(ui.statusHistory.size(), 2u);
    const std::size_t gain = ui.statusHistory.size() - 2;
    EXPECT_EQ(ui.statusHistory[gain], CConversionController::kTextNormalizing);
    const FakeUi::Snapshot& row = ui.snapshots[gain];
    EXPECT_TRUE(row.timerRunning);
    EXPECT_EQ(row.timerPeriod, 100u);
    EXPECT_EQ(row.rangeLower, 0);
    EXPECT_EQ(row.rangeUpper, 100);
    EXPECT_FALSE(row.idle);
    for (int id : {IDC_START_CONVERT, IDC_CANCEL_CONVERT, IDC_EXIT, IDC_BROWSE_AC3, IDC_BROWSE_WAV}) {
        EXPECT_FALSE(row.enabled.at(id)) << id;
    }
    EXPECT_EQ(ui.pos, 100);
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataBytes, 25u * 6144u);
    int peak = 0;
    for (std::int16_t s : wave.samples) {
        peak = std::max(peak, s < 0 ? -static_cast<int>(s) : static_cast<int>(s));
    }
    EXPECT_GE(peak, 32767);  // normalized to the peak
}

TEST_F(ControllerTest, NormalizationPhaseKeepsCountingTimeAndShowsEachTick)
{
    choose("stereo_48k_192.ac3", "norm.wav", 1);
    CConversionController c(ui);
    const std::int64_t start = ui.now;
    c.OnStart();
    run_conversion(c);
    ASSERT_EQ(c.GetState(), State::ScanningPeaks);
    const std::size_t shownBefore = ui.shown.size();
    ui.now = start + 3 * 60 + 4;
    finish_normalization(c);
    EXPECT_EQ(ui.shown.size(), shownBefore + 1);  // the completing tick shows the values too
    EXPECT_EQ(ui.controls.m_timeText, "00:03:04");
    expect_ready(with_gain("done: 63 frames"));
}

TEST_F(ControllerTest, ClearingNormalizeDuringTheConversionLeadsStraightToReady)
{
    choose("stereo_48k_192.ac3", "out.wav", 1);
    CConversionController c(ui);
    c.OnStart();
    c.OnTimer();
    ui.controls.m_normalize = 0;  // the dialog reads a click on the box at once
    ui.UpdateData(c.Values(), true);
    run_conversion(c);
    EXPECT_EQ(c.GetState(), State::Ready);
    expect_ready("done: 63 frames");
    for (const std::string& s : ui.statusHistory) {
        EXPECT_NE(s, CConversionController::kTextScanning);
    }
}

TEST_F(ControllerTest, CheckingNormalizeDuringTheConversionNormalizes)
{
    choose("stereo_48k_192.ac3", "out.wav", 0);
    CConversionController c(ui);
    c.OnStart();
    c.OnTimer();
    ui.controls.m_normalize = 1;
    ui.UpdateData(c.Values(), true);
    run_conversion(c);
    ASSERT_EQ(c.GetState(), State::ScanningPeaks);
    finish_normalization(c);
    expect_ready(with_gain("done: 63 frames"));
    EXPECT_EQ(c.m_engine.GetNormExit(), 0);
    ASSERT_GE(ui.statusHistory.size(), 2u);
    EXPECT_EQ(ui.statusHistory[ui.statusHistory.size() - 2], CConversionController::kTextNormalizing);
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    int peak = 0;
    for (std::int16_t s : wave.samples) {
        peak = std::max(peak, s < 0 ? -static_cast<int>(s) : static_cast<int>(s));
    }
    EXPECT_GE(peak, 32767);
}

TEST_F(ControllerTest, AmplificationTextFromTheSlider)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    ui.controls.m_amplify = 1;
    ui.slider = 0;
    c.OnStart();
    EXPECT_STREQ(c.m_engine.m_amplify, "0");  // peak normalization
    c.OnCancel();
    ui.slider = 10;
    c.OnStart();
    EXPECT_STREQ(c.m_engine.m_amplify, "50");
    c.OnCancel();
    ui.controls.m_amplify = 0;
    c.OnStart();
    EXPECT_STREQ(c.m_engine.m_amplify, "");
    c.OnCancel();
}

TEST_F(ControllerTest, SecondConversionUsesItsOwnOptions)
{
    choose("3f2r_48k_384.ac3", "first.wav");
    ui.controls.m_surround = 1;
    ui.controls.m_amplify = 1;
    ui.slider = 4;
    CConversionController c(ui);
    c.OnStart();
    EXPECT_EQ(c.m_engine.m_surround, 1);
    EXPECT_STREQ(c.m_engine.m_amplify, "20");
    run_conversion(c);
    const std::string first = ui.controls.m_wavPath;
    const std::string framesAfterFirst = ui.controls.m_framesText;

    choose("3f2r_48k_384.ac3", "second.wav");
    ui.controls.m_surround = 0;
    ui.controls.m_amplify = 0;
    ui.shown.clear();
    c.OnStart();
    ASSERT_EQ(c.GetState(), State::Converting);
    EXPECT_EQ(c.m_frameCount, 0);
    EXPECT_EQ(ui.controls.m_framesText, framesAfterFirst);  // kept until the first frame
    EXPECT_EQ(c.m_engine.m_surround, 0);
    EXPECT_STREQ(c.m_engine.m_amplify, "");
    run_conversion(c);
    expect_ready("done: " + std::to_string(ui.shown.size()) + " frames");
    EXPECT_EQ(ui.shown.front().m_framesText, "         1");

    const WaveFile a = read_wave(first);
    const WaveFile b = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(a.valid);
    ASSERT_TRUE(b.valid);
    EXPECT_EQ(a.dataBytes, b.dataBytes);
    EXPECT_NE(a.samples, b.samples);  // the surround fold-down puts the surrounds in antiphase
}
