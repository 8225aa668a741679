// Which file goes where in `qelp convert`: the arguments and -o DIR turned into (input, output)
// pairs, by a rule that never takes an AC-3 file for an output.
//
//   qelp convert IN                one input; OUT is IN with .wav ("-": standard input to output)
//   qelp convert IN OUT            two-argument form, when OUT is not an existing file that holds
//                                  AC-3 frames and does not end in .ac3 ("-": standard output)
//   qelp convert IN... [-o DIR]    otherwise every argument is an input, converted next to itself
//                                  (NAME.wav) or into DIR; an existing folder as the last argument
//                                  counts as -o DIR
#pragma once

#include <string>
#include <vector>

// What the plan needs to know about the file system.
class PathFacts {
 public:
  virtual ~PathFacts() = default;
  virtual bool is_directory(const std::string& path) const = 0;
  // The path is an existing file that holds AC-3 frames.
  virtual bool holds_ac3(const std::string& path) const = 0;
};

struct ConvertJob {
  std::string in;   // "-": standard input
  std::string out;  // "-": standard output
};

struct ConvertPlan {
  std::vector<ConvertJob> jobs;
  std::string error;  // a usage error (the plan is empty then)
};

ConvertPlan plan_conversions(const std::vector<std::string>& arguments, const std::string& output_dir,
                             const PathFacts& facts);

// IN with its extension replaced by .wav, placed in dir when one is given.
std::string wav_name_for(const std::string& in, const std::string& dir);

// The name ends in ".ac3" or ".wav", in any case.
bool has_extension(const std::string& name, const char* dot_extension);
