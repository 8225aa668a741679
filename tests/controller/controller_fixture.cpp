#include "controller_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/msacm/msacm.h"
#include "qelpsnd.h"
#include "support/paths.h"

namespace controller_test {

namespace {

std::uint32_t le32(const std::vector<char>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

void discard(int, const char*, void*) {}

}  // namespace

std::vector<char> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

WaveFile read_wave(const std::string& path)
{
    WaveFile wave;
    const std::vector<char> b = read_bytes(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0 ||
        le32(b, 4) != b.size() - 8) {
        return wave;
    }
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = le32(b, at + 4);
        if (std::memcmp(b.data() + at, "data", 4) == 0) {
            if (at + 8 + size != b.size()) {
                return wave;
            }
            wave.dataBytes = size;
            wave.samples.resize(size / 2);
            std::memcpy(wave.samples.data(), b.data() + at + 8, wave.samples.size() * 2);
            wave.valid = true;
            return wave;
        }
        at += 8 + size + (size & 1);
    }
    return wave;
}

int ac3_frames(const std::string& path)
{
    QelpsndStreamInfo info{};
    char error[512];
    if (!qelpsnd_stream_info(path.c_str(), 1, &info, error, sizeof error)) {
        ADD_FAILURE() << error;
        return -1;
    }
    return static_cast<int>(info.frames);
}

void make_ac3_of_size(const std::string& path, std::size_t size)
{
    const std::vector<char> source = read_bytes(qelp_test::data_path("stereo_48k_192.ac3"));
    constexpr std::size_t kFrame = 768;  // 192 kbit/s at 48 kHz
    std::vector<char> out;
    out.reserve(size);
    std::size_t frame = 0;
    const std::size_t frames = source.size() / kFrame;
    while (out.size() + kFrame <= size) {
        out.insert(out.end(), source.begin() + static_cast<long>(frame * kFrame),
                   source.begin() + static_cast<long>((frame + 1) * kFrame));
        frame = (frame + 1) % frames;
    }
    out.resize(size, 0);
    write_bytes(path, out);
}

void ControllerTest::SetUp()
{
    dir = qelp_test::scratch_dir();
    acmSetFormatChooser(nullptr, nullptr, 0);
    qelpsnd_set_diagnostics(discard, nullptr);
}

void ControllerTest::TearDown()
{
    acmSetFormatChooser(nullptr, nullptr, 0);
    qelpsnd_set_diagnostics(nullptr, nullptr);
}

void ControllerTest::choose(const std::string& ac3Name, const std::string& wavName, int normalize)
{
    ui.controls.m_ac3Path = ac3Name.find('/') == std::string::npos ? qelp_test::data_path(ac3Name) : ac3Name;
    ui.controls.m_wavPath = dir + "/" + wavName;
    ui.controls.m_normalize = normalize;
}

int ControllerTest::run_conversion(CConversionController& c)
{
    int ticks = 0;
    while (c.GetState() == CConversionController::State::Converting && ticks < 1000000) {
        c.OnTimer();
        ++ticks;
    }
    return ticks;
}

void ControllerTest::finish_normalization(CConversionController& c)
{
    // The worker is a real thread: wait for it to end, then let one tick see it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (c.m_engine.GetNormExit() == QELP_NORM_RUNNING && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    c.OnTimer();
}

std::string ControllerTest::with_gain(const std::string& outcome)
{
    QelpsndNormResult result{};
    if (!qelpsnd_norm_result(&result)) {
        ADD_FAILURE() << "the normalizer has not ended";
        return outcome;
    }
    EXPECT_EQ(result.exitCode, 0);
    char gain[48];
    std::snprintf(gain, sizeof gain, ", %s %+.1f dB", result.fixed ? "amplified" : "normalized", result.gainDb);
    return outcome + gain;
}

void ControllerTest::expect_ready(const std::string& status)
{
    EXPECT_EQ(ui.status, status);
    EXPECT_FALSE(ui.alert);
    EXPECT_TRUE(ui.flashing);
    EXPECT_FALSE(ui.timerRunning);
    EXPECT_TRUE(ui.idle);
    EXPECT_TRUE(ui.enabled[IDC_START_CONVERT]);
    EXPECT_FALSE(ui.enabled[IDC_CANCEL_CONVERT]);
    EXPECT_TRUE(ui.enabled[IDC_EXIT]);
    EXPECT_TRUE(ui.enabled[IDC_BROWSE_AC3]);
    EXPECT_TRUE(ui.enabled[IDC_BROWSE_WAV]);
}

void ControllerTest::expect_converting(std::uint32_t inputSize)
{
    EXPECT_EQ(ui.status, CConversionController::kTextRunning);
    EXPECT_FALSE(ui.flashing);
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_EQ(ui.timerId, CONVERT_TIMER_ID);
    EXPECT_EQ(ui.timerPeriod, 1u);
    EXPECT_FALSE(ui.idle);
    EXPECT_EQ(ui.rangeLower, 0);
    EXPECT_EQ(ui.rangeUpper, static_cast<int>(inputSize));
    EXPECT_FALSE(ui.enabled[IDC_START_CONVERT]);
    EXPECT_TRUE(ui.enabled[IDC_CANCEL_CONVERT]);
    EXPECT_FALSE(ui.enabled[IDC_EXIT]);
    EXPECT_FALSE(ui.enabled[IDC_BROWSE_AC3]);
    EXPECT_FALSE(ui.enabled[IDC_BROWSE_WAV]);
}

void ControllerTest::expect_scanning()
{
    EXPECT_EQ(ui.status, CConversionController::kTextScanning);
    EXPECT_TRUE(ui.flashing);
    EXPECT_TRUE(ui.timerRunning);
    EXPECT_EQ(ui.timerId, CONVERT_TIMER_ID);
    EXPECT_EQ(ui.timerPeriod, 100u);
    EXPECT_FALSE(ui.idle);
    EXPECT_EQ(ui.rangeLower, 0);
    EXPECT_EQ(ui.rangeUpper, 100);
    for (int id : {IDC_START_CONVERT, IDC_CANCEL_CONVERT, IDC_EXIT, IDC_BROWSE_AC3, IDC_BROWSE_WAV}) {
        EXPECT_FALSE(ui.enabled[id]) << id;
    }
}

}  // namespace controller_test
