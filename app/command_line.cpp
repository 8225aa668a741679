#include "command_line.h"

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            line.action = CommandLine::Action::Help;
            return line;
        } else if (!optionsEnded && arg == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (line.error.empty()) line.error = "unknown option " + arg;
        } else {
            files.push_back(arg);
        }
    }
    if (line.error.empty() && files.size() > 1) line.error = "one AC-3 file at most";
    if (line.error.empty() && files.size() == 1 && files[0].empty()) line.error = "an empty file name";
    if (!line.error.empty()) {
        line.action = CommandLine::Action::UsageError;
        return line;
    }
    if (!files.empty()) line.file = files[0];
    return line;
}

const char* UsageText()
{
    return "Usage: QelpConvert [FILE.ac3]\n"
           "Converts AC-3 audio files into stereo WAVE files in one dialog.\n"
           "FILE.ac3 is taken as the AC-3 file to convert, as if chosen with its \"...\" button.\n"
           "\n"
           "  -h, --help     show this help and end\n"
           "      --version  show the version and end\n";
}

const char* VersionText() { return "QelpConvert 1.0\n"; }
