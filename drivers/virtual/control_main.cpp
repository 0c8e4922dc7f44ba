// mokta-virtual-mouse: sends its arguments, joined by spaces, as one command to the control
// socket of a running virtual mouse and prints the answer. Exit status 0 for an "ok" answer,
// 1 for an error answer or when no mouse answers. Without arguments it asks for "help".

#include <cstdio>
#include <string>

#include "virtual_mouse.h"

int main(int argc, char** argv) {
  std::string command;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command += ' ';
    command += argv[i];
  }
  if (command.empty()) command = "help";
  const std::string path = mokta::DefaultControlPath();
  std::string error;
  const std::optional<std::string> answer = mokta::SendControlCommand(path, command, &error);
  if (!answer) {
    std::fprintf(stderr, "mokta-virtual-mouse: no virtual mouse at %s: %s\n", path.c_str(),
                 error.c_str());
    return 1;
  }
  std::printf("%s\n", answer->c_str());
  return answer->rfind("ok", 0) == 0 ? 0 : 1;
}
