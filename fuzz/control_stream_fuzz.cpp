// The virtual mouse's control stream: the bytes a client such as `mokta-virtual-mouse` sends
// over the control socket, framed into command lines as the server frames them and run on a
// mouse, which starts from a MOKTA_VIRTUAL_START option string. Input: a byte giving the size
// of the pieces the stream arrives in, a byte saying which of the mouse's monitors and devices
// are open, the start string up to the first "\n", then the stream. A connection the framing
// closes is followed by a new one for the rest.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "control_server.h"
#include "virtual_mouse.h"

namespace {

using namespace mokta;

void Ignore(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {}

// Every answer is one line, "ok ..." or "error ...".
void CheckAnswers(const std::vector<std::string>& answers) {
  for (const std::string& answer : answers) {
    const bool well_formed = answer.rfind("ok ", 0) == 0 || answer.rfind("error ", 0) == 0;
    if (!well_formed || answer.find('\n') != std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = 1 + std::size_t{data[0]} * 2;  // 1..511: a recv() holds up to 512
  const std::uint8_t open = data[1];
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t end_of_start = rest.find('\n');
  const std::string_view start_text = rest.substr(0, end_of_start);
  rest.remove_prefix(end_of_start == std::string_view::npos ? rest.size() : end_of_start + 1);

  VirtualMouseOptions options;
  options.battery_period = std::chrono::milliseconds(0);  // no threads: the same every run
  std::string error;
  // A refused item is named; a level out of range is refused.
  if (!ParseVirtualStart(start_text, options.start, &error) && error.empty()) std::abort();
  if (options.start.battery < 0 || options.start.battery > 100) std::abort();
  VirtualMouse mouse(options);
  const MoktaWindow window{nullptr, &Ignore};
  if (open & 1) mouse.OpenMonitor(VirtualLink::kCable, &window, 1, 2);
  if (open & 2) mouse.OpenMonitor(VirtualLink::kReceiver, &window, 3, 4);
  if (open & 4) mouse.BleOpen(&window, 5, 6);
  mouse.SetVidPid(VirtualLink::kCable, kVirtualVendorId, kVirtualCableProductId);
  mouse.SetVidPid(VirtualLink::kReceiver, kVirtualVendorId, kVirtualReceiverProductId);
  if (open & 8) mouse.OpenFeatureDevice(VirtualLink::kCable);
  if (open & 16) mouse.OpenFeatureDevice(VirtualLink::kReceiver);

  const virtual_detail::ControlHandler handler = [&mouse](std::string_view line) {
    return mouse.Control(line);
  };
  virtual_detail::ControlStream stream;
  std::vector<std::string> answers;
  while (!rest.empty()) {
    const std::string_view bytes = rest.substr(0, piece);
    rest.remove_prefix(bytes.size());
    const bool still_open = stream.Take(bytes, handler, answers);
    CheckAnswers(answers);
    answers.clear();
    if (!still_open) stream = virtual_detail::ControlStream();
  }
  stream.Finish(handler, answers);
  CheckAnswers(answers);
  mouse.CloseMonitor(VirtualLink::kCable);
  mouse.CloseMonitor(VirtualLink::kReceiver);
  mouse.BleClose();
  return 0;
}
