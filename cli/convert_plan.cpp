#include "convert_plan.h"

#include <cctype>
#include <cstring>
#include <map>

namespace {

bool is_standard(const std::string& path) { return path == "-"; }

// Every argument an input, each written next to itself or into dir. An argument that ends in .wav
// among several inputs was most likely meant as the output, unless it holds AC-3 audio.
ConvertPlan each_to_its_own(const std::vector<std::string>& inputs, const std::string& dir,
                            const PathFacts& facts) {
  ConvertPlan plan;
  std::map<std::string, std::string> written_by;  // output -> the input it comes from
  for (const std::string& in : inputs) {
    if (is_standard(in)) {
      plan.error = inputs.size() > 1 ? "standard input ('-') can only be converted on its own"
                                     : "standard input ('-') has no name to make a file name of; name the output";
      plan.jobs.clear();
      return plan;
    }
    if (dir.empty() && inputs.size() > 1 && has_extension(in, ".wav") && !facts.holds_ac3(in)) {
      plan.error = "'" + in + "' looks like an output file, but with several inputs each is converted next to "
                   "itself; name an output folder with -o DIR";
      plan.jobs.clear();
      return plan;
    }
    const std::string out = wav_name_for(in, dir);
    auto [it, fresh] = written_by.emplace(out, in);
    if (!fresh) {
      plan.error = "'" + it->second + "' and '" + in + "' would both be written to '" + out + "'";
      plan.jobs.clear();
      return plan;
    }
    plan.jobs.push_back({in, out});
  }
  return plan;
}

}  // namespace

bool has_extension(const std::string& name, const char* dot_extension) {
  const size_t n = std::strlen(dot_extension);
  if (name.size() <= n) return false;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[name.size() - n + i]);
    if (std::tolower(c) != std::tolower(static_cast<unsigned char>(dot_extension[i]))) return false;
  }
  return name[name.size() - n - 1] != '/';
}

std::string wav_name_for(const std::string& in, const std::string& dir) {
  std::string base = in;
  const size_t slash = base.find_last_of('/');
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot != (slash == std::string::npos ? 0 : slash + 1)) {
    base.erase(dot);
  }
  base += ".wav";
  if (dir.empty()) return base;
  const std::string name = slash == std::string::npos ? base : base.substr(slash + 1);
  return dir + (dir.back() == '/' ? "" : "/") + name;
}

ConvertPlan plan_conversions(const std::vector<std::string>& arguments, const std::string& output_dir,
                             const PathFacts& facts) {
  ConvertPlan plan;
  if (arguments.empty()) {
    plan.error = "no input file given";
    return plan;
  }
  if (!output_dir.empty()) return each_to_its_own(arguments, output_dir, facts);

  if (arguments.size() == 1) {
    const std::string& in = arguments[0];
    // Standard input goes to standard output: there is no name to derive a file name from.
    plan.jobs.push_back({in, is_standard(in) ? std::string("-") : wav_name_for(in, "")});
    return plan;
  }

  const std::string& last = arguments.back();
  if (!is_standard(last) && facts.is_directory(last)) {
    return each_to_its_own(std::vector<std::string>(arguments.begin(), arguments.end() - 1), last, facts);
  }
  if (arguments.size() == 2) {
    const std::string& out = arguments[1];
    const bool output_like = is_standard(out) || (!has_extension(out, ".ac3") && !facts.holds_ac3(out));
    if (output_like) {
      plan.jobs.push_back({arguments[0], out});
      return plan;
    }
  }
  return each_to_its_own(arguments, "", facts);
}
