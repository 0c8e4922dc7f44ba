// mokta-hidraw-access: tells udev whether one hidraw node of the mouse is the interface the
// driver opens, so that the rules hand the logged-in user that node and no other. The mouse's
// other interfaces carry the pointer's and the keyboard's input reports, that is everything the
// user types and does; the program never needs them.
//
// Run by udev for each hidraw node of the mouse's USB identities (packaging/71-mokta-mouse.rules,
// IMPORT{program}) with the node's kernel name:
//
//   mokta-hidraw-access hidraw3
//
// It reads the node's report descriptor from sysfs and decides with the driver's own parser and
// choice of interface, so the rules and the driver cannot disagree about which node is meant.
// Answers on standard output in udev's KEY=value form:
//
//   MOKTA_VENDOR_INTERFACE=1   the node has a vendor-defined application collection
//   MOKTA_VENDOR_INTERFACE=0   it has none: a pointer or keyboard interface
//
// and exits 0. When the descriptor cannot be read it answers nothing and exits 1, so the node
// gets no access: an interface that cannot be told apart is not handed out. A wrong argument
// exits 2. Every outcome is also said on standard error, which udev logs.
//
// Runs as root inside udev's worker with a time limit: it opens nothing but the one sysfs file,
// writes nothing, and needs no Qt.

#include <cstdio>
#include <string>
#include <string_view>

#include "feature_device.h"
#include "report_descriptor.h"

namespace {

constexpr char kProperty[] = "MOKTA_VENDOR_INTERFACE";

int Usage() {
  std::fprintf(stderr,
               "usage: mokta-hidraw-access hidrawN\n"
               "Says whether the hidraw node is the mouse's vendor-defined interface "
               "(%s=1) or not (%s=0).\n",
               kProperty, kProperty);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Usage();
  const std::string name = argv[1];
  const std::string devnode = "/dev/" + name;
  // Only "hidrawN" is taken: anything else (a path, "..") is refused before a file is opened.
  if (!mokta::hidraw::ReportDescriptorPath(devnode)) {
    std::fprintf(stderr, "mokta-hidraw-access: \"%s\" is not a hidraw node's name\n", name.c_str());
    return Usage();
  }

  mokta::hidraw::InterfaceCandidate candidate{devnode, std::nullopt};
  if (const auto bytes = mokta::hidraw::ReadReportDescriptor(devnode)) {
    candidate.descriptor = mokta::hidraw::ParseReportDescriptor(*bytes);
  }
  // The driver's choice among this one node: chosen exactly when the driver would take it for
  // the interface that takes the commands, were it alone.
  const mokta::hidraw::InterfaceChoice choice =
      mokta::hidraw::ChooseVendorInterface({&candidate, 1});
  std::fprintf(stderr, "mokta-hidraw-access: %s: %s\n", name.c_str(),
               choice.reasons.front().c_str());
  if (!candidate.descriptor) return 1;
  std::printf("%s=%d\n", kProperty, choice.chosen ? 1 : 0);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
