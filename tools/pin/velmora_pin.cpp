// velmora_pin USERCODE SHAREDTOKEN: the service desk's answer to the user code that the tray's
// "Request Previleges" dialog shows (see docs/ADMIN-GUIDE.md, Help-desk PIN). Prints a six-digit
// PIN on one line. Exit codes: 0 done, 1 a malformed user code or token (or a code that no PIN
// answers), 2 usage.
#include <cstdio>
#include <random>
#include <string>

#include "elevation/pin.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs(
        "usage: velmora_pin USERCODE SHAREDTOKEN\n"
        "  USERCODE     the four digits the user reads from the PIN dialog\n"
        "  SHAREDTOKEN  the text stored in the machine's SharedToken value\n",
        stderr);
    return 2;
  }
  std::random_device device;
  std::string pin;
  std::string error;
  if (!velmora::MakePin(argv[1], argv[2], [&device] { return static_cast<uint32_t>(device()); },
                        &pin, &error)) {
    std::fprintf(stderr, "velmora_pin: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", pin.c_str());
  return 0;
}
