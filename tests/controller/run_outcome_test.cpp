// How a run ended, in the status line's words: the texts themselves, then the controller showing
// them after the end of the stream, Cancel, a normalization and a failure.
#include "controller_fixture.h"
#include "engine_parts.h"
#include "qelpsnd.h"
#include "run_outcome.h"
#include "support/paths.h"

using namespace controller_test;
using State = CConversionController::State;

TEST(RunOutcomeText, SaysFramesHowTheRunEndedAndTheGain)
{
    RunOutcome done;
    done.frames = 18750;
    done.wavPath = "/home/me/films/Film.wav";
    EXPECT_EQ(RunOutcomeText(done), "done: 18750 frames");
    done.gain = RunOutcome::Gain::Normalized;
    done.gainDb = 6.2449;
    EXPECT_EQ(RunOutcomeText(done), "done: 18750 frames, normalized +6.2 dB");
    done.gain = RunOutcome::Gain::NotRequired;
    EXPECT_EQ(RunOutcomeText(done), "done: 18750 frames, no amplification required");

    RunOutcome cancelled;
    cancelled.cancelled = true;
    cancelled.frames = 9375;
    cancelled.wavPath = "/home/me/films/Film.wav";
    EXPECT_EQ(RunOutcomeText(cancelled), "cancelled: 9375 frames kept in Film.wav");
    cancelled.gain = RunOutcome::Gain::Amplified;
    cancelled.gainDb = 15.0;
    EXPECT_EQ(RunOutcomeText(cancelled), "cancelled: 9375 frames kept in Film.wav, amplified +15.0 dB");
    cancelled.wavPath = "bare.wav";  // a name without a folder is shown as it is
    cancelled.frames = 0;
    cancelled.gain = RunOutcome::Gain::None;
    EXPECT_EQ(RunOutcomeText(cancelled), "cancelled: 0 frames kept in bare.wav");
}

TEST_F(ControllerTest, TheOutcomeStaysUntilTheNextStartWhichShowsTheRunningText)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    expect_ready("done: 63 frames");
    EXPECT_EQ(c.Outcome().frames, 63);
    EXPECT_FALSE(c.Outcome().cancelled);
    c.OnTimer();  // a tick still queued changes nothing
    EXPECT_EQ(ui.status, "done: 63 frames");
    ui.replaceAnswer = true;
    c.OnStart();
    EXPECT_EQ(ui.status, CConversionController::kTextRunning);
    EXPECT_FALSE(ui.flashing);
    EXPECT_EQ(c.Outcome().frames, 0);  // a new run counts afresh
    c.OnCancel();
    expect_ready("cancelled: 0 frames kept in out.wav");
}

TEST_F(ControllerTest, AFixedAmplificationIsSaidWithItsGain)
{
    choose("stereo_48k_192.ac3", "loud.wav", 1);
    ui.controls.m_amplify = 1;
    ui.slider = 3;
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    finish_normalization(c);
    expect_ready("done: 63 frames, amplified +15.0 dB");
}

TEST_F(ControllerTest, APeakNormalizationSaysTheGainItApplied)
{
    choose("3f2r_lfe_48k_448.ac3", "peak.wav", 1);
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    finish_normalization(c);
    QelpsndNormResult result{};
    ASSERT_EQ(qelpsnd_norm_result(&result), 1);
    EXPECT_GT(result.gainDb, 0.0);  // the fixture's fold-down stays below full scale
    expect_ready(with_gain("done: " + std::to_string(c.Outcome().frames) + " frames"));
    EXPECT_NE(ui.status.find(", normalized +"), std::string::npos) << ui.status;
}

TEST_F(ControllerTest, AFailureIsShownInTheAlertColoursUntilTheNextGoodStart)
{
    choose("stereo_48k_192.ac3", "limited.wav", 1);
    CConversionController c(ui);
    qelp::EngineParts::of(c.m_engine).writer.set_size_limit(10 * 6144);
    c.OnStart();
    run_conversion(c);
    qelp::EngineParts::of(c.m_engine).writer.set_size_limit(0);
    EXPECT_TRUE(ui.alert);
    EXPECT_EQ(ui.status, c.m_engine.m_lastErrorText);
    EXPECT_NE(ui.status.find("limited.wav"), std::string::npos) << ui.status;

    c.OnStart();  // the same file again, now without a limit
    EXPECT_FALSE(ui.alert);
    EXPECT_EQ(ui.status, CConversionController::kTextRunning);
    c.OnCancel();
}

TEST_F(ControllerTest, ANewFileChoiceForgetsTheCountersOfTheLastRun)
{
    choose("stereo_48k_192.ac3", "out.wav");
    CConversionController c(ui);
    c.OnStart();
    run_conversion(c);
    ASSERT_EQ(c.Values().m_framesText, "        63");
    c.ForgetCounters();
    EXPECT_EQ(c.Values().m_bytesText, "");
    EXPECT_EQ(c.Values().m_positionText, "");
    EXPECT_EQ(c.Values().m_framesText, "");
    EXPECT_EQ(c.Values().m_timeText, "");
}
