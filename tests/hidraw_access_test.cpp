// The udev helper mokta-hidraw-access, run as udev runs it, against fake hidraw nodes made with
// umockdev (the test runs under umockdev-wrapper, and the helper inherits the fake /sys), and
// the udev rules that call it.

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <umockdev.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "report_descriptors.h"
#include "umockdev_test.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Where the installed rules find the helper: beside the program in lib/mokta-mouse/.
constexpr char kInstalledHelper[] = "/usr/lib/mokta-mouse/mokta-hidraw-access";

const Bytes& kMouseAndKeyboard = mokta::test::kMouseAndKeyboardDescriptor;

// The interface that takes the commands: a vendor-defined application collection with a
// 64-byte feature report.
const Bytes kVendor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (application)
    0x75, 0x08,        //   Report Size 8
    0x95, 0x40,        //   Report Count 64
    0xB1, 0x02,        //   Feature
    0xC0,              // End Collection
};

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (auto b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the helper as udev does, with the node's kernel name.
Outcome RunHelper(const std::string& name) {
  const std::string helper = MOKTA_HIDRAW_ACCESS;
  gchar* argv[] = {const_cast<gchar*>(helper.c_str()), const_cast<gchar*>(name.c_str()), nullptr};
  gchar* out = nullptr;
  gchar* err = nullptr;
  gint status = 0;
  GError* error = nullptr;
  Outcome outcome;
  if (!g_spawn_sync(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status,
                    &error)) {
    ADD_FAILURE() << "cannot run " << helper << ": " << error->message;
    g_error_free(error);
    return outcome;
  }
  outcome.out = out ? out : "";
  outcome.err = err ? err : "";
  g_free(out);
  g_free(err);
  if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
  return outcome;
}

class HidrawAccess : public mokta::test::UmockdevTest {
 protected:
  // The node hidraw<node> of the cable's USB interface `interface`, with `descriptor` (none
  // when empty: sysfs then has no report_descriptor file for it).
  void AddCableNode(int interface, int node, const Bytes& descriptor) {
    const std::string usb_path = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string parent = usb_path + "/1-2:1." + std::to_string(interface);
    const std::string hid_name = "0003:1D57:214C.000" + std::to_string(node + 1);
    const std::string hid_path = parent + "/" + hid_name;
    const std::string name = "hidraw" + std::to_string(node);
    std::string record;
    if (!usb_added_) record += "P: " + usb_path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n\n";
    record += "P: " + parent + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
              "A: bInterfaceNumber=0" + std::to_string(interface) + "\n\n";
    record += "P: " + hid_path + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00001D57:0000214C\n";
    if (!descriptor.empty()) record += "H: report_descriptor=" + Hex(descriptor) + "\n";
    record += "\nP: " + hid_path + "/hidraw/" + name + "\nN: " + name +
              "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + name +
              "\nA: dev=241:" + std::to_string(node) + "\nL: device=../../../" + hid_name + "\n";
    usb_added_ = true;
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
  }

  bool usb_added_ = false;
};

// The cable as a composite device: its pointer and keyboard interface is refused, its
// vendor-defined interface accepted, whatever their interface numbers.
TEST_F(HidrawAccess, AcceptsOnlyTheVendorInterfaceOfACompositeDevice) {
  AddCableNode(0, 0, kVendor);
  AddCableNode(1, 1, kMouseAndKeyboard);

  const Outcome vendor = RunHelper("hidraw0");
  EXPECT_EQ(vendor.exit_code, 0) << vendor.err;
  EXPECT_EQ(vendor.out, "MOKTA_VENDOR_INTERFACE=1\n");

  const Outcome pointer = RunHelper("hidraw1");
  EXPECT_EQ(pointer.exit_code, 0) << pointer.err;
  EXPECT_EQ(pointer.out, "MOKTA_VENDOR_INTERFACE=0\n");
  // udev logs what the helper says: the driver's own reason.
  EXPECT_NE(pointer.err.find("hidraw1: passed over: no vendor-defined application collection"),
            std::string::npos)
      << pointer.err;
}

// A node whose descriptor cannot be read, a node that has gone and a name that is not a node's
// get no answer, so the rules hand out nothing.
TEST_F(HidrawAccess, AnswersNothingWhenItCannotTell) {
  AddCableNode(0, 0, {});

  const Outcome unreadable = RunHelper("hidraw0");
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_EQ(unreadable.out, "");
  EXPECT_NE(unreadable.err.find("hidraw0: passed over: its report descriptor cannot be read"),
            std::string::npos)
      << unreadable.err;

  const Outcome gone = RunHelper("hidraw7");
  EXPECT_EQ(gone.exit_code, 1);
  EXPECT_EQ(gone.out, "");

  for (const char* wrong : {"../hidraw0", "hidraw", "hidraw0x", "/dev/hidraw0", ""}) {
    const Outcome refused = RunHelper(wrong);
    EXPECT_EQ(refused.exit_code, 2) << wrong;
    EXPECT_EQ(refused.out, "") << wrong;
    EXPECT_NE(refused.err.find("usage:"), std::string::npos) << wrong;
  }
}

std::vector<std::string> RuleLines() {
  std::ifstream file(MOKTA_RULES_FILE);
  EXPECT_TRUE(file) << "cannot read " << MOKTA_RULES_FILE;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

// Each rule line is a comma-separated list of KEY[{attr}] OP "value" (no tool of Debian 12's
// udev checks a rules file without a real device), the helper is called by its installed
// path, and every "uaccess" tag depends on the helper's answer under the name it prints.
TEST_F(HidrawAccess, RulesHandOutOnlyWhatTheHelperAccepts) {
  const std::string pair_text = R"re([A-Z_]+(\{[A-Za-z0-9_]+\})?(==|!=|\+=|-=|:=|=)"[^"]*")re";
  const std::regex rule("^" + pair_text + "(, " + pair_text + ")*$");

  AddCableNode(0, 0, kVendor);
  const Outcome vendor = RunHelper("hidraw0");
  ASSERT_EQ(vendor.exit_code, 0) << vendor.err;
  const std::string property = vendor.out.substr(0, vendor.out.find('='));
  const std::string granted = "ENV{" + property + "}==\"1\", TAG+=\"uaccess\"";

  const std::vector<std::string> lines = RuleLines();
  int imports = 0;
  int grants = 0;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, rule)) << "not a udev rule: " << line;
    if (line.find("IMPORT{program}") != std::string::npos) {
      ++imports;
      EXPECT_EQ(line, std::string("IMPORT{program}=\"") + kInstalledHelper + " %k\"");
    }
    if (line.find("uaccess") != std::string::npos) {
      ++grants;
      EXPECT_EQ(line, granted);
    }
  }
  EXPECT_EQ(imports, 1);
  EXPECT_EQ(grants, 1);
  // The helper is built under the name the rules call.
  const std::string built = MOKTA_HIDRAW_ACCESS;
  const std::string installed = kInstalledHelper;
  EXPECT_EQ(built.substr(built.rfind('/')), installed.substr(installed.rfind('/')));
}

}  // namespace
