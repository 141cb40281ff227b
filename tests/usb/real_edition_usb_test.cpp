// The real edition's composition on an emulated FT232R: start-up, a band click, a selection and
// an upload, read back as the chip received them and as the board decodes them.
#include <gtest/gtest.h>

#include "UsbRig.h"

namespace quarvel::usb_test {
namespace {

TEST(RealEditionOnChip, Smoke) {
  UsbRig rig;
  rig.Start();
  EXPECT_EQ(rig.Boxes(), std::vector<std::string>());
  for (const auto& b : rig.Chip().BulkWrites()) std::printf("write %zu\n", b.size());
  for (const auto& c : rig.Chip().ControlRequests())
    std::printf("ctl %02x %02x %04x %04x\n", c.requestType, c.request, c.value, c.index);
}

}  // namespace
}  // namespace quarvel::usb_test
