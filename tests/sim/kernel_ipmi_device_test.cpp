// The kernel's IPMI device as a program drives it through the platform
// layer: /dev/ipmi0 opened with hw::OpenDevice, the IPMICTL_* requests of
// <linux/ipmi.h> through hw::IoctlDevice, responses waited for with
// hw::WaitReadable. The assertions say what the kernel did with the BMC
// (component "ipmi_si") and what the program was handed ("ipmidev").
#include "sim/core/kernel_ipmi_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
// <linux/ipmi.h> builds its request numbers with _IOR and _IOWR.
#include <linux/ipmi.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hw/hw.h"
#include "sim/bmc/ipmi.h"
#include "tests/sim/ipmi_frames.h"
#include "tests/sim/kcs_host.h"
#include "tests/sim/settings_of.h"

namespace {

using simtest::Bytes;

constexpr std::uint64_t kMs = 1'000'000;

struct Received {
    int result = 0;
    int error = 0;
    ipmi_recv recv{};
    ipmi_ipmb_addr addr{};  // big enough for either address
    Bytes data;
};

class IpmiDevice {
  public:
    explicit IpmiDevice(const char* path = "/dev/ipmi0") : mFd(hw::OpenDevice(path, O_RDWR)) {}
    ~IpmiDevice() {
        if (mFd >= 0) hw::CloseDevice(mFd);
    }
    int Fd() const { return mFd; }

    // 0, or the errno of a refused request.
    int Send(const void* addr, unsigned addrLen, long msgid, std::uint8_t netFn, std::uint8_t cmd,
             Bytes data) {
        ipmi_req req{};
        req.addr = static_cast<unsigned char*>(const_cast<void*>(addr));
        req.addr_len = addrLen;
        req.msgid = msgid;
        req.msg.netfn = netFn;
        req.msg.cmd = cmd;
        req.msg.data_len = static_cast<unsigned short>(data.size());
        req.msg.data = data.empty() ? nullptr : data.data();
        return hw::IoctlDevice(mFd, IPMICTL_SEND_COMMAND, &req) == 0 ? 0 : errno;
    }
    int ToBmc(long msgid, std::uint8_t netFn, std::uint8_t cmd, Bytes data = {},
              unsigned char lun = 0) {
        ipmi_system_interface_addr si{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, IPMI_BMC_CHANNEL, lun};
        return Send(&si, sizeof si, msgid, netFn, cmd, std::move(data));
    }
    int ToIpmb(long msgid, short channel, std::uint8_t slave, std::uint8_t netFn, std::uint8_t cmd,
               Bytes data = {}, unsigned char lun = 0) {
        ipmi_ipmb_addr ipmb{IPMI_IPMB_ADDR_TYPE, channel, slave, lun};
        return Send(&ipmb, sizeof ipmb, msgid, netFn, cmd, std::move(data));
    }
    Received Receive(unsigned short room = 64, bool truncate = false, unsigned addrLen = 8) {
        Received got;
        got.data.assign(room, 0xEE);
        got.recv.addr = reinterpret_cast<unsigned char*>(&got.addr);
        got.recv.addr_len = addrLen;
        got.recv.msg.data = got.data.data();
        got.recv.msg.data_len = room;
        got.result = hw::IoctlDevice(
            mFd, truncate ? IPMICTL_RECEIVE_MSG_TRUNC : IPMICTL_RECEIVE_MSG, &got.recv);
        got.error = got.result == 0 ? 0 : errno;
        if (got.result == 0 || got.error == EMSGSIZE) got.data.resize(got.recv.msg.data_len);
        return got;
    }
    // Waits as long as it takes (up to a minute of virtual time) and takes
    // the message.
    Received Next(unsigned short room = 64) {
        EXPECT_EQ(hw::WaitReadable(mFd, 60'000), 1);
        return Receive(room);
    }

  private:
    int mFd;
};

sim::Machine& Boot(simtest::SettingPairs extra = {}) {
    sim::Settings settings = simtest::SettingsOf(extra);
    if (!settings.Has("kernel.modules")) settings.Set("kernel.modules", "ipmi_si,ipmi_devintf");
    return sim::ResetMachine(settings);
}

std::vector<sim::LogEntry> Entries(sim::Machine& machine, const std::string& component,
                                   const std::string& operation) {
    std::vector<sim::LogEntry> found;
    for (const sim::LogEntry& entry : machine.Log().Of(component)) {
        if (entry.operation == operation) found.push_back(entry);
    }
    return found;
}

std::vector<std::pair<unsigned, unsigned>> BmcCommands(sim::Machine& machine) {
    std::vector<std::pair<unsigned, unsigned>> commands;
    for (const sim::LogEntry& entry : Entries(machine, "ipmi_si", "request")) {
        commands.emplace_back(static_cast<unsigned>(entry.address),
                              static_cast<unsigned>(entry.value));
    }
    return commands;
}

// ------------------------------------------------------------ the node

struct NodeCase {
    const char* setting;
    const char* present;  // null: no node at all
};

TEST(KernelIpmiDevice, TheNodeHasTheNameTheSettingGivesAndTheDriversMajor) {
    const NodeCase cases[] = {
        {"/dev/ipmi0", "/dev/ipmi0"},
        {"/dev/ipmi/0", "/dev/ipmi/0"},
        {"/dev/ipmidev/0", "/dev/ipmidev/0"},
        {"none", nullptr},
    };
    for (const NodeCase& c : cases) {
        SCOPED_TRACE(c.setting);
        sim::Machine& machine =
            Boot({{"kernel.ipmi.node", c.setting}, {"kernel.ipmi.major", "241"}});
        EXPECT_NE(machine.Host().ProcDevicesText().find("241 ipmidev\n"), std::string::npos);
        for (const char* path : hw::kIpmiDeviceNodes) {
            const bool wanted = c.present != nullptr && std::string(path) == c.present;
            EXPECT_EQ(machine.Host().NodeExists(path), wanted) << path;
            IpmiDevice device(path);
            EXPECT_EQ(device.Fd() >= 0, wanted) << path;
            if (wanted) {
                EXPECT_EQ(*machine.Host().NodeDevice(path), makedev(241, 0));
            }
        }
    }
}

TEST(KernelIpmiDevice, AnOpenCanBeRefused) {
    Boot({{"host.fault.open", "/dev/ipmi0:13"}});
    IpmiDevice device;
    EXPECT_EQ(device.Fd(), -1);
    EXPECT_EQ(errno, EACCES);
}

// ------------------------------------------------------------ the system interface

TEST(KernelIpmiDevice, ARequestToTheBmcGoesThroughTheDriverNotThePorts) {
    sim::Machine& machine = Boot();
    machine.Log().RecordPorts(true);
    IpmiDevice device;
    ASSERT_EQ(device.ToBmc(0x1234, 0x06, 0x01), 0);
    // ipmi_si needs its time: nothing yet, then the response.
    EXPECT_EQ(hw::WaitReadable(device.Fd(), 0), 0);
    EXPECT_EQ(device.Receive().error, EAGAIN);
    const std::uint64_t before = machine.Clock().NowNs();
    ASSERT_EQ(hw::WaitReadable(device.Fd(), 100), 1);
    EXPECT_LE(machine.Clock().NowNs() - before, 1 * kMs);

    const Received got = device.Receive();
    ASSERT_EQ(got.result, 0);
    EXPECT_EQ(got.recv.recv_type, IPMI_RESPONSE_RECV_TYPE);
    EXPECT_EQ(got.recv.msgid, 0x1234);
    EXPECT_EQ(got.recv.addr_len, sizeof(ipmi_system_interface_addr));
    ipmi_system_interface_addr from{};
    std::memcpy(&from, &got.addr, sizeof from);
    EXPECT_EQ(from.addr_type, IPMI_SYSTEM_INTERFACE_ADDR_TYPE);
    EXPECT_EQ(from.channel, IPMI_BMC_CHANNEL);
    EXPECT_EQ(from.lun, 0);
    EXPECT_EQ(got.recv.msg.netfn, 0x07);
    EXPECT_EQ(got.recv.msg.cmd, 0x01);
    Bytes expected = {0x00};
    const Bytes id = machine.Find<sim::Bmc>()->Identity().DeviceIdData();
    expected.insert(expected.end(), id.begin(), id.end());
    EXPECT_EQ(got.data, expected);

    const auto requests = Entries(machine, "ipmi_si", "request");
    ASSERT_EQ(requests.size(), 1u);
    const auto exchange = sim::ipmi::LoggedExchange(requests[0]);
    ASSERT_TRUE(exchange);
    EXPECT_EQ(exchange->netFn, 0x06);
    EXPECT_EQ(exchange->cmd, 0x01);
    EXPECT_TRUE(machine.Log().Of("kcs").empty());
    EXPECT_TRUE(machine.Log().Of("port").empty());
    const auto sent = Entries(machine, "ipmidev", "send");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].detail, "si lun=0 netfn=06 cmd=01 data=[]");
    ASSERT_EQ(Entries(machine, "ipmidev", "receive").size(), 1u);
}

TEST(KernelIpmiDevice, ResponsesKeepTheOrderAndMsgidOfTheirRequests) {
    Boot();
    IpmiDevice device;
    ASSERT_EQ(device.ToBmc(7, 0x06, 0x01), 0);
    ASSERT_EQ(device.ToBmc(8, 0x06, 0x31), 0);
    EXPECT_EQ(device.Next().recv.msgid, 7);
    const Received flags = device.Next();
    EXPECT_EQ(flags.recv.msgid, 8);
    EXPECT_EQ(flags.recv.msg.cmd, 0x31);
    EXPECT_EQ(device.Receive().error, EAGAIN);
}

TEST(KernelIpmiDevice, EachOpenIsAUserWithItsOwnQueue) {
    Boot();
    IpmiDevice first;
    IpmiDevice second;
    ASSERT_EQ(first.ToBmc(1, 0x06, 0x01), 0);
    EXPECT_EQ(hw::WaitReadable(second.Fd(), 50), 0);
    EXPECT_EQ(hw::WaitReadable(first.Fd(), 0), 1);
    EXPECT_EQ(second.Receive().error, EAGAIN);
    EXPECT_EQ(first.Receive().result, 0);
}

struct RefusedCase {
    const char* what;
    int error;
    std::function<int(IpmiDevice&)> send;
};

TEST(KernelIpmiDevice, RequestsTheKernelRefusesNeverReachTheBmc) {
    const ipmi_system_interface_addr si{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, IPMI_BMC_CHANNEL, 0};
    const ipmi_system_interface_addr siOnChannel0{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, 0, 0};
    ipmi_addr unknown{};
    unknown.addr_type = 0x55;
    unknown.channel = 0;
    const RefusedCase cases[] = {
        {"Send Message is the kernel's", EINVAL,
         [](IpmiDevice& d) { return d.ToBmc(1, 0x06, 0x34, {0}); }},
        {"Get Message is the kernel's", EINVAL,
         [](IpmiDevice& d) { return d.ToBmc(1, 0x06, 0x33); }},
        {"Read Event Message Buffer is the kernel's", EINVAL,
         [](IpmiDevice& d) { return d.ToBmc(1, 0x06, 0x35); }},
        {"a response netFn", EINVAL, [](IpmiDevice& d) { return d.ToBmc(1, 0x07, 0x01); }},
        {"LUN 4", EINVAL, [](IpmiDevice& d) { return d.ToBmc(1, 0x06, 0x01, {}, 4); }},
        {"a system interface address on channel 0", EINVAL,
         [&](IpmiDevice& d) { return d.Send(&siOnChannel0, sizeof siOnChannel0, 1, 6, 1, {}); }},
        {"addr_len below 8", EINVAL, [&](IpmiDevice& d) { return d.Send(&si, 4, 1, 6, 1, {}); }},
        {"addr_len beyond struct ipmi_addr", EINVAL,
         [&](IpmiDevice& d) { return d.Send(&unknown, sizeof(ipmi_addr) + 1, 1, 6, 1, {}); }},
        {"no address", EFAULT, [](IpmiDevice& d) { return d.Send(nullptr, 8, 1, 6, 1, {}); }},
        {"an unknown address type", EINVAL,
         [&](IpmiDevice& d) { return d.Send(&unknown, sizeof unknown, 1, 6, 1, {}); }},
        {"273 data bytes", EMSGSIZE,
         [](IpmiDevice& d) { return d.ToBmc(1, 0x06, 0x01, Bytes(273)); }},
        {"271 data bytes with the header", EMSGSIZE,
         [](IpmiDevice& d) { return d.ToBmc(1, 0x2E, 0x01, Bytes(271)); }},
        {"an IPMB address on channel Fh", EINVAL,
         [](IpmiDevice& d) { return d.ToIpmb(1, 0x0F, 0x22, 6, 1); }},
        {"an IPMB address on channel 16", EINVAL,
         [](IpmiDevice& d) { return d.ToIpmb(1, 16, 0x22, 6, 1); }},
        {"a channel without an IPMB", EINVAL,
         [](IpmiDevice& d) { return d.ToIpmb(1, 3, 0x22, 6, 1); }},
        {"an IPMB LUN 4", EINVAL, [](IpmiDevice& d) { return d.ToIpmb(1, 0, 0x22, 6, 1, {}, 4); }},
        {"263 data bytes over the IPMB", EMSGSIZE,
         [](IpmiDevice& d) { return d.ToIpmb(1, 0, 0x22, 0x2E, 1, Bytes(263)); }},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine& machine = Boot();
        IpmiDevice device;
        EXPECT_EQ(c.send(device), c.error);
        EXPECT_TRUE(Entries(machine, "ipmi_si", "request").empty());
        const auto refused = Entries(machine, "ipmidev", "refused");
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_EQ(refused[0].value, static_cast<std::uint64_t>(c.error));
        EXPECT_EQ(hw::WaitReadable(device.Fd(), 30'000), 0);
    }
}

TEST(KernelIpmiDevice, OtherRequestsAndBadArguments) {
    Boot();
    IpmiDevice device;
    EXPECT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_SEND_COMMAND, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    int unused = 0;
    EXPECT_EQ(hw::IoctlDevice(device.Fd(), 0x4160, &unused), -1);
    EXPECT_EQ(errno, ENOTTY);
    int events = 1;
    EXPECT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_SET_GETS_EVENTS_CMD, &events), 0);
    unsigned int address = 0;
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_GET_MY_ADDRESS_CMD, &address), 0);
    EXPECT_EQ(address, 0x20u);
    unsigned int lun = 0;
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_GET_MY_LUN_CMD, &lun), 0);
    EXPECT_EQ(lun, 2u);
    ipmi_channel_lun_address_set channel{16, 0};
    EXPECT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD, &channel), -1);
    EXPECT_EQ(errno, EINVAL);
    channel = {6, 0};
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD, &channel), 0);
    EXPECT_EQ(channel.value, 0x20);
    ipmi_timing_parms parms{1, 500};
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_SET_TIMING_PARMS_CMD, &parms), 0);
    parms = {};
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_GET_TIMING_PARMS_CMD, &parms), 0);
    EXPECT_EQ(parms.retries, 1);
    EXPECT_EQ(parms.retry_time_ms, 500u);
}

// ------------------------------------------------------------ receiving

TEST(KernelIpmiDevice, ReceiveKeepsOrConsumesTheMessageAsTheKernelDoes) {
    Boot();
    IpmiDevice device;
    EXPECT_EQ(device.Receive().error, EAGAIN);
    ASSERT_EQ(device.ToBmc(5, 0x06, 0x01), 0);
    ASSERT_EQ(hw::WaitReadable(device.Fd(), 10), 1);
    // An address buffer too small, then a data buffer too small: the
    // message stays.
    EXPECT_EQ(device.Receive(64, false, 4).error, EINVAL);
    EXPECT_EQ(device.Receive(64, true, 4).error, EINVAL);
    EXPECT_EQ(device.Receive(4, false).error, EMSGSIZE);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), 0), 1);
    // With _TRUNC what fits comes, and the message is gone.
    const Received cut = device.Receive(4, true);
    EXPECT_EQ(cut.result, -1);
    EXPECT_EQ(cut.error, EMSGSIZE);
    EXPECT_EQ(cut.recv.msgid, 5);
    EXPECT_EQ(cut.recv.msg.data_len, 4);
    EXPECT_EQ(cut.data, (Bytes{0x00, 0x20, 0x01, 0x01}));
    EXPECT_EQ(device.Receive().error, EAGAIN);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), 0), 0);
    const auto receives = Entries(sim::TheMachine(), "ipmidev", "receive");
    ASSERT_EQ(receives.size(), 1u);
    EXPECT_EQ(receives[0].detail, "truncated");
}

// ------------------------------------------------------------ the IPMB

TEST(KernelIpmiDevice, TheKernelBridgesIpmbRequestsWithItsOwnSequenceNumbers) {
    sim::Machine& machine = Boot();
    IpmiDevice device;
    ASSERT_EQ(device.ToIpmb(0x77, 0, 0x22, 0x06, 0x01), 0);
    const Received got = device.Next();
    ASSERT_EQ(got.result, 0);
    EXPECT_EQ(got.recv.msgid, 0x77);
    EXPECT_EQ(got.recv.addr_len, sizeof(ipmi_ipmb_addr));
    EXPECT_EQ(got.addr.addr_type, IPMI_IPMB_ADDR_TYPE);
    EXPECT_EQ(got.addr.channel, 0);
    EXPECT_EQ(got.addr.slave_addr, 0x22);
    EXPECT_EQ(got.addr.lun, 0);
    EXPECT_EQ(got.recv.msg.netfn, 0x07);
    EXPECT_EQ(got.recv.msg.cmd, 0x01);
    Bytes expected = {0x00};
    const Bytes id =
        machine.Find<sim::Bmc>()->Ipmb().Find("front_panel")->Identity().DeviceIdData();
    expected.insert(expected.end(), id.begin(), id.end());
    EXPECT_EQ(got.data, expected);

    // Send Message with the kernel's frame, then the receive queue fetched.
    const std::vector<std::pair<unsigned, unsigned>> kernel = {
        {0x06, 0x34}, {0x06, 0x31}, {0x06, 0x33}, {0x06, 0x33}};
    EXPECT_EQ(BmcCommands(machine), kernel);
    const auto exchange = sim::ipmi::LoggedExchange(Entries(machine, "ipmi_si", "request")[0]);
    ASSERT_TRUE(exchange);
    simtest::IpmbRequest request;
    request.target = 0x22;
    request.sequence = 0;
    EXPECT_EQ(exchange->request, request.SendMessageData(0));
    EXPECT_EQ(Entries(machine, "ipmb", "send").size(), 1u);
    // The next request takes the next sequence number.
    ASSERT_EQ(device.ToIpmb(0x78, 0, 0x22, 0x06, 0x01), 0);
    EXPECT_EQ(device.Next().recv.msgid, 0x78);
    EXPECT_NE(Entries(machine, "ipmidev", "send").back().detail.find("seq=01"), std::string::npos);
}

TEST(KernelIpmiDevice, TheChannelsComeFromGetChannelInfo) {
    Boot();
    IpmiDevice device;
    ASSERT_EQ(device.ToIpmb(1, 6, 0x2C, 0x06, 0x01), 0);  // the management engine
    EXPECT_EQ(device.Next().data.at(0), 0x00);
    EXPECT_EQ(sim::TheMachine().Find<sim::KernelIpmi>()->IpmbChannels(),
              (std::set<std::uint8_t>{0, 6}));
    // A BMC without Get Channel Info: one IPMB, channel 0.
    Boot({{"bmc.fault.answer", "0x06:0x42:0xC1"}});
    IpmiDevice older;
    EXPECT_EQ(older.ToIpmb(1, 6, 0x2C, 0x06, 0x01), EINVAL);
    EXPECT_EQ(older.ToIpmb(2, 0, 0x22, 0x06, 0x01), 0);
}

struct RetryCase {
    const char* what;
    simtest::SettingPairs settings;
    std::uint8_t code;        // the completion code the program gets
    std::size_t retries;      // the kernel's resends
    std::uint64_t atLeastMs;  // virtual time it took at least
    std::uint64_t atMostMs;
};

TEST(KernelIpmiDevice, TheKernelRetriesAndTimesOutBridgedRequests) {
    const RetryCase cases[] = {
        {"an answer at once", {}, 0x00, 0, 0, 10},
        {"NAK twice", {{"ipmb.front_panel.fault.nak", "2"}}, 0x00, 2, 4000, 4100},
        {"silent once", {{"ipmb.front_panel.fault.silent", "1"}}, 0x00, 1, 2000, 2100},
        {"NAK always: time-out", {{"ipmb.front_panel.fault.nak", "always"}}, 0xC3, 4, 10000, 10100},
        {"silent always: time-out",
         {{"ipmb.front_panel.fault.silent", "always"}},
         0xC3,
         4,
         10000,
         10100},
        {"the BMC busy with Send Message once",
         {{"kernel.ipmi.fault.busy", "1"}},
         0x00,
         1,
         2000,
         2100},
        {"an error of Send Message", {{"bmc.fault.answer", "0x06:0x34:0xCC"}}, 0xCC, 0, 0, 10},
        {"no controller there: NAK until time-out",
         {{"ipmb.satellites", "hsc0:0:0xC0"}},
         0xC3,
         4,
         10000,
         10100},
    };
    for (const RetryCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Machine& machine = Boot(c.settings);
        IpmiDevice device;
        const std::uint64_t start = machine.Clock().NowNs();
        ASSERT_EQ(device.ToIpmb(9, 0, 0x22, 0x06, 0x01), 0);
        const Received got = device.Next();
        ASSERT_EQ(got.result, 0);
        EXPECT_EQ(got.recv.msgid, 9);
        EXPECT_EQ(got.addr.slave_addr, 0x22);
        EXPECT_EQ(got.recv.msg.netfn, 0x07);
        EXPECT_EQ(got.data.at(0), c.code);
        if (c.code != 0) {
            EXPECT_EQ(got.data.size(), 1u);
        }
        EXPECT_EQ(Entries(machine, "ipmidev", "retry").size(), c.retries);
        const std::uint64_t took = machine.Clock().NowNs() - start;
        EXPECT_GE(took, c.atLeastMs * kMs);
        EXPECT_LE(took, c.atMostMs * kMs);
    }
}

TEST(KernelIpmiDevice, SettimeChoosesTheRetriesAndTheirTime) {
    sim::Machine& machine = Boot({{"ipmb.front_panel.fault.nak", "always"}});
    IpmiDevice device;
    ipmi_ipmb_addr ipmb{IPMI_IPMB_ADDR_TYPE, 0, 0x22, 0};
    ipmi_req_settime timed{};
    timed.req.addr = reinterpret_cast<unsigned char*>(&ipmb);
    timed.req.addr_len = sizeof ipmb;
    timed.req.msgid = 3;
    timed.req.msg.netfn = 0x06;
    timed.req.msg.cmd = 0x01;
    timed.retries = 1;
    timed.retry_time_ms = 500;
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_SEND_COMMAND_SETTIME, &timed), 0);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), 900), 0);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), 200), 1);
    EXPECT_EQ(device.Receive().data, Bytes{0xC3});
    EXPECT_EQ(Entries(machine, "ipmidev", "retry").size(), 1u);
    const auto responses = Entries(machine, "ipmidev", "response");
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_NE(responses[0].detail.find("(kernel: time-out)"), std::string::npos);
}

TEST(KernelIpmiDevice, AForeignSequenceNumberIsDroppedAndTheRightOneTaken) {
    sim::Machine& machine = Boot({{"ipmb.front_panel.fault.foreign_seq", "1"}});
    IpmiDevice device;
    ASSERT_EQ(device.ToIpmb(4, 0, 0x22, 0x06, 0x01), 0);
    const Received got = device.Next();
    EXPECT_EQ(got.data.at(0), 0x00);
    EXPECT_EQ(Entries(machine, "ipmidev", "unmatched").size(), 1u);
    EXPECT_EQ(device.Receive().error, EAGAIN);  // one response only
}

TEST(KernelIpmiDevice, AnAddressTheBmcDoesNotQueueForMeansNoResponse) {
    sim::Machine& machine = Boot();
    IpmiDevice device;
    unsigned int address = 0x40;
    ASSERT_EQ(hw::IoctlDevice(device.Fd(), IPMICTL_SET_MY_ADDRESS_CMD, &address), 0);
    ASSERT_EQ(device.ToIpmb(1, 0, 0x22, 0x06, 0x01), 0);
    EXPECT_EQ(device.Next().data, Bytes{0xC3});
    const auto sends = Entries(machine, "ipmb", "send");
    ASSERT_FALSE(sends.empty());
    EXPECT_NE(sends[0].detail.find("answer to 40h"), std::string::npos);
}

TEST(KernelIpmiDevice, ClosingDropsWhatTheUserWaitedFor) {
    sim::Machine& machine = Boot({{"ipmb.front_panel.fault.nak", "always"}});
    {
        IpmiDevice device;
        ASSERT_EQ(device.ToIpmb(1, 0, 0x22, 0x06, 0x01), 0);
        ASSERT_EQ(device.ToBmc(2, 0x06, 0x01), 0);
    }
    IpmiDevice again;
    EXPECT_EQ(hw::WaitReadable(again.Fd(), 20'000), 0);
    EXPECT_TRUE(Entries(machine, "ipmidev", "retry").empty());
}

// ------------------------------------------------------------ faults of the BMC

TEST(KernelIpmiDevice, FaultsOfTheBmcReachTheProgramAsTheKernelReportsThem) {
    {
        sim::Machine& machine = Boot({{"kernel.ipmi.fault.no_answer", "1"}});
        IpmiDevice device;
        ASSERT_EQ(device.ToBmc(1, 0x06, 0x01), 0);
        EXPECT_EQ(hw::WaitReadable(device.Fd(), 10'000), 0);
        EXPECT_EQ(hw::WaitReadable(device.Fd(), 2'000), 1);
        EXPECT_EQ(device.Receive().data, Bytes{0xFF});
        EXPECT_NE(Entries(machine, "ipmidev", "response")[0].detail.find("(kernel: no answer)"),
                  std::string::npos);
        // The next one is answered.
        ASSERT_EQ(device.ToBmc(2, 0x06, 0x01), 0);
        EXPECT_EQ(device.Next().data.at(0), 0x00);
    }
    {
        Boot({{"kernel.ipmi.fault.busy", "1"}});
        IpmiDevice device;
        ASSERT_EQ(device.ToBmc(1, 0x06, 0x01), 0);
        EXPECT_EQ(device.Next().data, Bytes{0xC0});
    }
    {
        sim::Machine& machine = Boot({{"kernel.ipmi.fault.truncate", "3:1"}});
        IpmiDevice device;
        ASSERT_EQ(device.ToBmc(1, 0x06, 0x01), 0);
        EXPECT_EQ(device.Next().data, (Bytes{0x00, 0x20, 0x01, 0x01}));
        EXPECT_NE(Entries(machine, "ipmi_si", "request")[0].detail.find("truncated to 3 bytes"),
                  std::string::npos);
        ASSERT_EQ(device.ToBmc(2, 0x06, 0x01), 0);
        EXPECT_EQ(device.Next().data.size(), 16u);
    }
    const std::pair<const char*, const char*> bad[] = {{"kernel.ipmi.fault.truncate", "300"},
                                                       {"kernel.ipmi.fault.truncate", "3:x"},
                                                       {"kernel.ipmi.fault.busy", "often"}};
    simtest::ExpectEachSettingRefused(bad);
}

// ------------------------------------------------------------ waiting

volatile std::sig_atomic_t gAlarms = 0;
void CountAlarm(int) {
    gAlarms = gAlarms + 1;
}

TEST(KernelIpmiDevice, AnEndlessWaitEndsOnlyByAnAlarm) {
    sim::Machine& machine = Boot();
    IpmiDevice device;
    // Nothing will ever come and no alarm is armed.
    EXPECT_EQ(hw::WaitReadable(device.Fd(), -1), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_NE(machine.Log().Of("host").back().detail.find("would wait forever"), std::string::npos);
    // With an alarm: the wait ends when it rings.
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = CountAlarm;
    ::sigaction(SIGALRM, &action, &old);
    gAlarms = 0;
    const std::uint64_t start = machine.Clock().NowNs();
    hw::Alarm(2);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), -1), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(gAlarms, 1);
    EXPECT_EQ(machine.Clock().NowNs() - start, 2000 * kMs);
    // A response on its way ends an endless wait.
    ASSERT_EQ(device.ToBmc(1, 0x06, 0x01), 0);
    EXPECT_EQ(hw::WaitReadable(device.Fd(), -1), 1);
    ::sigaction(SIGALRM, &old, nullptr);
}

// ------------------------------------------------------------ the ports

TEST(KernelIpmiDevice, PortsUsedUnderTheDriverAreLogged) {
    const Bytes getDeviceId = {0x06 << 2, 0x01};
    for (const bool driver : {false, true}) {
        SCOPED_TRACE(driver ? "ipmi_si loaded" : "no driver");
        sim::Machine& machine = Boot({{"kernel.modules", driver ? "ipmi_si" : "ipmi_msghandler"}});
        simtest::KcsHost host;
        Bytes response;
        ASSERT_EQ(host.Exchange(getDeviceId, &response), simtest::KcsHost::Result::kOk);
        const auto under = Entries(machine, "kcs", "ports used under the kernel driver");
        EXPECT_EQ(under.empty(), !driver);
        if (!driver) continue;
        Bytes written;
        for (const sim::LogEntry& entry : under) {
            if (entry.width == 1) written.push_back(static_cast<std::uint8_t>(entry.value));
        }
        // WRITE_START, netFn, WRITE_END, command, then a READ per byte.
        ASSERT_GE(written.size(), 4u);
        EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), (Bytes{0x61, 0x18, 0x62, 0x01}));
        EXPECT_EQ(written.size(), 4 + response.size());
    }
}

}  // namespace
