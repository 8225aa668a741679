// What QelpConvert is told on its command line: at most one AC-3 file to take as the AC-3 choice
// (a file manager's "Open with" passes one), or a request for help or the version.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Action {
        Run,         // open the dialog, with file as the AC-3 choice when it is not empty
        Help,        // print UsageText and end
        Version,     // print VersionText and end
        UsageError,  // print error and UsageText to standard error and end with 2
    };
    Action action = Action::Run;
    std::string file;
    std::string error;
};

// args: the arguments after the program name. --help (-h) and --version win over everything
// else before "--"; after "--" every argument is a file name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

const char* UsageText();
const char* VersionText();
