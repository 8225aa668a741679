// The subcommands of qelp. Each takes the arguments after its name and returns the exit status.
#pragma once

class CQelpsnd;

int command_convert(int argc, char** argv);
int command_info(int argc, char** argv);
int command_formats(int argc, char** argv);
int command_normalize(int argc, char** argv);
int command_play(int argc, char** argv);

// Normalizes a converted file in place as the program does: peak normalization when amplify_db is
// 0, else a fixed gain of amplify_db dB. Shows progress unless quiet. Returns the exit status.
int normalize_file(CQelpsnd& engine, const char* path, int amplify_db, bool quiet);
