#pragma once
#include <string>

namespace velnox {

// The fixed values of one run. The shipped program uses productDefaults(); tests build
// their own (loopback hosts, ephemeral ports, local document servers).
// Texts are UTF-8 as CMake wrote them; the contact line is converted where it is shown.
struct Config {
  std::string debugHost = "127.0.0.1";
  int debugPort = 19760;
  std::string productionHost;
  int productionPort = 38817;
  std::string updateFeedAddress;
  std::string noticeFeedAddress;
  std::string signupPageAddress;
  std::string contactLineUtf8;

  static Config productDefaults();
};

}  // namespace velnox
