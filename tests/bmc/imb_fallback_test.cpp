// A host that supplies no IMB driver interface: the layer's weak imports
// stay null, the library still loads and works, and requests take the KCS
// ports. This program defines none of open_imb, close_imb and
// SendTimedImbpRequest.
#include <gtest/gtest.h>

#include "bmc/imb.h"
#include "bmc/message.h"
#include "bmc/message_state.h"
#include "tests/bmc/bmc_sim_fixture.h"

namespace bmc_test {
namespace {

class ImbFallbackTest : public BmcSimTest {};

TEST_F(ImbFallbackTest, NoDriverMeansKcs) {
    EXPECT_EQ(&open_imb, nullptr);
    EXPECT_EQ(&SendTimedImbpRequest, nullptr);
    Boot();
    EXPECT_EQ(startIPMI(), 0);
    EXPECT_EQ(endIPMI(), 0);

    EXPECT_EQ(BmcLibInitialize(), 0);
    EXPECT_EQ(g_Mbmcsupport, SYSTEM_INTERFACE_KCS);
    const auto response = Response();
    EXPECT_EQ(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(DataOf(*response), Bmc().Identity().DeviceIdData());
    EXPECT_EQ(Exchanges("kcs").size(), 1u);
    EXPECT_EQ(BmcLibDeinitialize(), 0);
}

// A host that supplies open_imb but not SendTimedImbpRequest puts the layer
// on the driver path with no function to call (set by hand here, since this
// program supplies neither): the request fails instead of calling null.
TEST_F(ImbFallbackTest, DriverPathWithoutADriverFailsTheRequest) {
    Boot();
    g_Mbmcsupport = SYSTEM_INTERFACE_IMB;
    const auto response = Response();
    EXPECT_NE(ProcessMessage(Request(0x06, 0x01).get(), response.get(), 5000), 0);
    EXPECT_EQ(response->dataLength, 0u);
}

}  // namespace
}  // namespace bmc_test
