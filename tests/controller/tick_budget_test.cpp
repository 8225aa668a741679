// Ticks that convert several slices: how many the clock allows, where a tick stops, and that Cancel
// between such ticks and the end of the stream leave the same file and exact counters.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "controller_fixture.h"

using namespace controller_test;
using State = CConversionController::State;
using std::chrono::microseconds;

namespace {

constexpr std::size_t kFrameBytes = 768;  // the fixture's frames at 192 kbit/s, 48 kHz
constexpr int kFrames = 300;

std::string frames_text(int frames)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10d", frames);
    return text;
}

}  // namespace

class TickBudgetTest : public ControllerTest {
protected:
    void SetUp() override
    {
        ControllerTest::SetUp();
        longInput = dir + "/long.ac3";
        make_ac3_of_size(longInput, kFrames * kFrameBytes);
    }

    // The WAVE file of a whole conversion with one slice per tick, to compare against.
    std::vector<char> reference_output()
    {
        FakeUi plain;
        plain.controls = ui.controls;
        plain.controls.m_wavPath = dir + "/reference.wav";
        CConversionController c(plain);
        c.OnStart();
        while (c.GetState() == State::Converting) {
            c.OnTimer();
        }
        return read_bytes(plain.controls.m_wavPath);
    }

    std::string longInput;
};

TEST_F(TickBudgetTest, ATickConvertsSlicesUntilItsBudgetIsSpentAndStartsNoneAfter)
{
    const microseconds budget = CConversionController::kTickBudget;
    struct Case {
        microseconds step;  // how far the clock moves per reading
        int slices;
    };
    const Case cases[] = {
        {budget * 3, 1},                      // a slice slower than the budget: still one per tick
        {budget, 1},                          // exactly spent after the first slice
        {budget / 2, 2},                      // spent exactly at the end of the second
        {budget / 2 - microseconds(1), 3},    // one microsecond short: a third slice
        {budget / 4, 4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.step.count());
        ui = FakeUi{};
        choose(longInput, "sliced.wav");
        CConversionController c(ui);
        c.OnStart();
        ASSERT_EQ(c.GetState(), State::Converting) << ui.status;
        ui.steadyStep = k.step;
        ui.steadyReadings = 0;
        c.OnTimer();
        const int frames = k.slices * CConversionController::kFramesPerSlice;
        EXPECT_EQ(c.m_frameCount, frames);
        EXPECT_EQ(ui.steadyReadings, k.slices + 1);  // the tick's start and the end of each slice
        EXPECT_EQ(ui.shown.size(), static_cast<std::size_t>(frames));  // still after every frame
        EXPECT_EQ(ui.controls.m_framesText, frames_text(frames));
        EXPECT_EQ(c.GetState(), State::Converting);
        c.OnCancel();
    }
}

TEST_F(TickBudgetTest, ATickThatNeverSpendsItsBudgetEndsWithTheStream)
{
    choose("stereo_48k_192.ac3", "whole.wav");
    CConversionController c(ui);
    c.OnStart();
    ui.steadyStep = microseconds(0);  // a clock that stands still
    c.OnTimer();
    EXPECT_EQ(c.GetState(), State::Ready);
    EXPECT_EQ(c.m_frameCount, 64);  // 63 frames and the call that found the end
    EXPECT_EQ(ui.controls.m_framesText, frames_text(63));
    expect_ready("done: 63 frames");
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataBytes, 63u * 6144u);
}

TEST_F(TickBudgetTest, CancelBetweenLongTicksKeepsExactlyTheFramesShown)
{
    choose(longInput, "cut.wav");
    ASSERT_FALSE(reference_output().empty());
    CConversionController c(ui);
    c.OnStart();
    ui.steadyStep = microseconds(CConversionController::kTickBudget) / 4;
    c.OnTimer();
    c.OnTimer();
    c.OnCancel();
    expect_ready("cancelled: 200 frames kept in cut.wav");
    EXPECT_EQ(ui.controls.m_framesText, frames_text(200));
    EXPECT_EQ(ui.controls.m_bytesText, "1 MB");  // 200 * 6144 bytes, whole MiB
    EXPECT_EQ(ui.pos, static_cast<int>(c.m_engine.m_inputPosition));
    const WaveFile wave = read_wave(ui.controls.m_wavPath);
    ASSERT_TRUE(wave.valid);
    ASSERT_EQ(wave.dataBytes, 200u * 6144u);
    // The same samples as the first 200 frames of a conversion one slice per tick.
    const WaveFile reference = read_wave(dir + "/reference.wav");
    ASSERT_TRUE(reference.valid);
    ASSERT_GE(reference.samples.size(), wave.samples.size());
    EXPECT_TRUE(std::equal(wave.samples.begin(), wave.samples.end(), reference.samples.begin()));
}

TEST_F(TickBudgetTest, TheCountersAndTheFileAreExactAtTheEndOfLongTicks)
{
    choose(longInput, "sliced.wav");
    const std::vector<char> whole = reference_output();
    CConversionController c(ui);
    c.OnStart();
    ui.steadyStep = microseconds(CConversionController::kTickBudget) / 4;
    // 100 frames a tick; the fourth tick's first call finds the end.
    EXPECT_EQ(run_conversion(c), 4);
    expect_ready("done: 300 frames");
    ASSERT_EQ(ui.shown.size(), static_cast<std::size_t>(kFrames));
    EXPECT_EQ(ui.controls.m_framesText, frames_text(kFrames));
    EXPECT_EQ(ui.controls.m_bytesText, "1 MB");  // 300 * 6144 bytes
    EXPECT_EQ(ui.controls.m_positionText, "0 MB von 0 MB");
    EXPECT_EQ(ui.pos, static_cast<int>(kFrames * kFrameBytes));
    EXPECT_EQ(ui.rangeUpper, ui.pos);
    EXPECT_EQ(read_bytes(ui.controls.m_wavPath), whole);
}
