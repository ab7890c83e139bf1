#include "sim/wine_launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace quenta::sim {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

int RunUnderWine(const std::vector<std::string>& args) {
  const std::string source = QUENTA_SOURCE_DIR;
  const std::string host = EnvOr("QUENTA_SCENARIO_HOST", source + "/build/win64/tests/wine/scenario-host.exe");
  if (access(host.c_str(), R_OK) != 0) {
    std::cerr << "pendant-sim: no Wine scenario host at " << host
              << " (build the win64 tree, or set QUENTA_SCENARIO_HOST)\n";
    return 2;
  }
  setenv("WINEPREFIX", EnvOr("WINEPREFIX", source + "/build/wineprefix").c_str(), 1);
  setenv("WINEDEBUG", EnvOr("WINEDEBUG", "-all").c_str(), 1);
  setenv("WINEDLLOVERRIDES", EnvOr("WINEDLLOVERRIDES", "mscoree,mshtml=;winedbg.exe=d").c_str(), 1);

  std::vector<std::string> command;
  if (EnvOr("DISPLAY", "").empty()) command = {"xvfb-run", "-a"};
  command.push_back("wine");
  command.push_back(host);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::cout.flush();
  execvp(argv[0], argv.data());
  std::cerr << "pendant-sim: cannot run " << argv[0] << ": " << std::strerror(errno) << '\n';
  return 2;
}

}  // namespace quenta::sim
