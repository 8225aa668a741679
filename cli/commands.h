// The subcommands of qelp. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 a file failed, 2 a usage error, 3 a conversion written completely from a damaged
// input, 130 interrupted.
#pragma once

#include <cstdio>
#include <string>

class CQelpsnd;

int command_convert(int argc, char** argv);
int command_info(int argc, char** argv);
int command_formats(int argc, char** argv);
int command_normalize(int argc, char** argv);
int command_play(int argc, char** argv);

// The help of each command, for --help and `qelp help COMMAND`.
void convert_usage(std::FILE* to);
void info_usage(std::FILE* to);
void formats_usage(std::FILE* to);
void normalize_usage(std::FILE* to);
void play_usage(std::FILE* to);

// `qelp --version`: the program, the library, and whether the codec module loads (with its FFmpeg
// versions). Returns 0.
int print_version();

// Normalizes a converted file in place: peak normalization when amplify_db is 0, else a fixed gain
// of amplify_db dB. Shows progress under label unless quiet, says the gain applied (and how many
// samples a fixed gain clipped) unless quiet. Returns the exit status.
int normalize_file(CQelpsnd& engine, const char* path, int amplify_db, bool quiet, const std::string& label);

// Where the engine's own trace goes: standard error with --debug, nowhere otherwise.
void show_engine_trace(bool on);

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitDamaged = 3, kExitInterrupted = 130 };
