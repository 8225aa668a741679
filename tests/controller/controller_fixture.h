// Set-up shared by the controller tests: a fake user interface, a scratch folder, the default
// format (16-bit PCM) unless a test installs its own chooser, and quiet engine diagnostics.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "conversion_controller.h"
#include "fake_ui.h"

namespace controller_test {

// A WAVE file as read back: whether its RIFF and data sizes agree with the file, and its samples.
struct WaveFile {
    bool valid = false;
    std::uint32_t dataBytes = 0;
    std::vector<std::int16_t> samples;
};
WaveFile read_wave(const std::string& path);

// The bytes of a file, or an empty vector when it cannot be read.
std::vector<char> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<char>& bytes);

// The syncframes of an AC-3 file, counted by the engine's header scan.
int ac3_frames(const std::string& path);

// An AC-3 file of exactly `size` bytes: frames of a fixture one after the other, the rest zeros.
void make_ac3_of_size(const std::string& path, std::size_t size);

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The options the user has chosen in the dialog.
    void choose(const std::string& ac3Name, const std::string& wavName, int normalize = 0);

    // Ticks until the conversion has ended; returns the number of ticks.
    int run_conversion(CConversionController& c);
    // Waits for the normalizer's worker to end, then ticks once.
    void finish_normalization(CConversionController& c);

    // Ready after a run or a start that did not happen: the status line shows status, not as a failure.
    void expect_ready(const std::string& status = CConversionController::kTextReady);
    // An outcome text with the gain the normalizer reports it applied: "OUTCOME, normalized +6.2 dB".
    static std::string with_gain(const std::string& outcome);
    void expect_converting(std::uint32_t inputSize);
    void expect_scanning();

    FakeUi ui;
    std::string dir;
};

}  // namespace controller_test
