// libFuzzer target: random bytes as the settings file and the resolution list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings_file.h"

namespace {
void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "settings check failed: %s\n", what);
    std::abort();
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string problem;
  const quadrel::Settings settings = quadrel::parse_settings(text, &problem);
  require(settings.iface == 0 || settings.iface == 1, "interface out of range");
  require(settings.com_port >= 1 && settings.com_port <= 9, "port out of range");
  // What is written reads back the same.
  std::string again_problem;
  const quadrel::Settings again = quadrel::parse_settings(quadrel::format_settings(settings), &again_problem);
  require(again.iface == settings.iface && again.com_port == settings.com_port &&
              again.advanced_open == settings.advanced_open,
          "settings round trip");
  const auto list = quadrel::parse_resolution_list(text, &problem);
  for (const std::string& item : list) require(item != "END", "END taken as a resolution");
  return 0;
}
