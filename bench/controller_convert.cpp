// Drives the converter dialog's conversion controller through one whole conversion, with the
// display operations going to an interface that keeps the values as the dialog's controls would,
// and prints the seconds it took. Ticks follow each other at once: the wait for the 1 ms timer
// belongs to the window system, not to the controller.
//
//   controller_convert IN.ac3 OUT.wav
#include <chrono>
#include <cstdio>
#include <string>

#include "conversion_controller.h"

namespace {

struct HeadlessUi : IConverterUi {
    CConverterValues controls;
    std::string status;
    bool flashing = false;
    bool enabled[2048] = {};
    int lower = 0, upper = 0, pos = 0;
    bool idle = true;
    bool timer = false;

    void SetStatusText(const std::string& text) override { status = text; }
    void SetStatusFlashing(bool on) override { flashing = on; }
    void EnableControl(int id, bool enable) override
    {
        if (id >= 0 && id < 2048) enabled[id] = enable;
    }
    void SetProgressRange(int l, int u) override
    {
        lower = l;
        upper = u;
    }
    void SetProgressPos(int p) override { pos = p; }
    void SetProgressIdleAnimation(bool on) override { idle = on; }
    int GetSliderPos() override { return 0; }
    void UpdateData(CConverterValues& values, bool save) override
    {
        if (save) {
            values.m_ac3Path = controls.m_ac3Path;
            values.m_wavPath = controls.m_wavPath;
            values.m_normalize = controls.m_normalize;
            values.m_amplify = controls.m_amplify;
            values.m_surround = controls.m_surround;
        } else {
            controls.m_bytesText = values.m_bytesText;
            controls.m_positionText = values.m_positionText;
            controls.m_framesText = values.m_framesText;
            controls.m_timeText = values.m_timeText;
        }
    }
    void SetTimer(unsigned, unsigned) override { timer = true; }
    void KillTimer(unsigned) override { timer = false; }
    std::int64_t CurrentTime() override
    {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    void DeleteFile(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: controller_convert IN.ac3 OUT.wav\n");
        return 2;
    }
    qelpsnd_set_diagnostics([](int, const char*, void*) {}, nullptr);
    HeadlessUi ui;
    ui.controls.m_ac3Path = argv[1];
    ui.controls.m_wavPath = argv[2];
    const auto begin = std::chrono::steady_clock::now();
    long ticks = 0;
    {
        CConversionController controller(ui);
        controller.OnStart();
        if (controller.GetState() != CConversionController::State::Converting) {
            std::fprintf(stderr, "controller_convert: %s\n", ui.status.c_str());
            return 1;
        }
        while (controller.GetState() == CConversionController::State::Converting) {
            controller.OnTimer();
            ++ticks;
        }
        if (ui.status != CConversionController::kTextReady) {
            std::fprintf(stderr, "controller_convert: %s\n", ui.status.c_str());
            return 1;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("%.3f s, %ld ticks, frames%s\n", seconds, ticks, ui.controls.m_framesText.c_str());
    return 0;
}
