// The BMC's side of the IPMI KCS (keyboard controller style) system
// interface: two I/O ports, the data register at the base and the
// command/status register at base + spacing (1 by default; boards that
// decode the registers on 32-bit or 16-byte boundaries put it at base + 4
// or base + 16, and say so in SMBIOS type 38), and the KCS state machine
// of IPMI v2.0 behind them.
//
// What the host sees:
//   - a write to the data or command register fills the input buffer: IBF
//     sets, and C/D (bit 3) tells which register it was. The BMC takes the
//     byte at once, or, with kcs.ibf_polls=N, after the host has read the
//     status register N times with IBF set; taking it clears IBF and makes
//     the state bits and the output buffer change. A byte written while IBF
//     is still set replaces the one the BMC had not taken yet (logged as
//     "overrun").
//   - a read of the data register returns the output buffer and clears OBF.
//   - the status register: bits 7:6 state (00h IDLE, 40h READ, 80h WRITE,
//     C0h ERROR), bit 3 C/D, bit 2 SMS_ATN (the BMC's receive message queue
//     holds a message), bit 1 IBF, bit 0 OBF.
//
// What the BMC does with each byte it takes:
//   WRITE_START (61h), any state    WRITE; a new request begins (a request
//                                   or response in progress is dropped)
//   data byte in WRITE              stored (more than kcs.max_request bytes:
//                                   ERROR, 06h length error)
//   WRITE_END (62h) in WRITE after at least one data byte
//                                   WRITE; the next data byte is the last
//   last data byte                  READ; the request (at least netFn and
//                                   command, as WRITE_END needs a byte
//                                   before it) goes to the BMC and the
//                                   first response byte is in the output
//                                   buffer
//   READ (68h) to data in READ      the next response byte; after the last
//                                   one: IDLE with a dummy byte (00h)
//   GET_STATUS/ABORT (60h), any state
//                                   WRITE; the transfer in progress ends
//                                   (status 01h "aborted by command" when
//                                   there was one and no error before it)
//   data byte 00h after it          READ with the status code in the output
//                                   buffer
//   READ (68h) after that           IDLE with a dummy byte; the status is 00h
//                                   again
//   anything else                   ERROR: 02h illegal control code (a
//                                   control code 63h..67h, 69h.., WRITE_END
//                                   out of place, a data byte other than
//                                   READ while reading), FFh unspecified (a
//                                   data byte while IDLE or other than 00h
//                                   after GET_STATUS/ABORT); in ERROR only
//                                   GET_STATUS/ABORT and WRITE_START lead
//                                   out
// Like real BMC firmware, the BMC puts a dummy byte (00h) into the output
// buffer for every control code and every data byte of a write and on
// entering ERROR, so a host must clear OBF where the IPMI v2.0 KCS flow
// charts say.
//
// Response frame: (netFn + 1) << 2 | LUN, command, completion code, data.
//
// Settings:
//   kcs.present=1          0: nothing answers at the ports (they read FFh),
//                          as with the KCS interface disabled
//   kcs.base=0xCA2         data register; status/command at base + spacing
//   kcs.spacing=1          1, 4 or 16: the register spacing
//   kcs.max_request=256    the BMC's input buffer, in bytes of the frame
//   kcs.ibf_polls=0        status reads that still show IBF set after
//                          each write; the next one finds the byte taken
//                          (a slow BMC)
//   kcs.log_states=0       1: log every change of the state bits
// Faults:
//   kcs.fault.ibf_stuck=0  1: IBF reads 1 from the start and the BMC takes
//                          nothing (a hung BMC)
//   kcs.fault.stop_after=N the BMC takes N bytes (control codes and data,
//                          counted from the machine's start) and then no
//                          more: the next one stays in the input buffer
//   kcs.fault.read_error_after=N
//                          the interface enters ERROR when the host asks
//                          for response byte N + 1 (0: right after the
//                          request, instead of READ)
//   kcs.fault.read_error_times=always   TIMES of that fault
//   kcs.fault.error_code=0xFF           the status code it leaves
//
// Request log, component "kcs":
//   "request"  each request the BMC received whole: address = netFn,
//              value = command, detail = the exchange (sim/bmc/ipmi.h)
//              or the request and " -> no answer" when the BMC stopped
//              (its controller went silent); "stopped" follows
//   "error"    the interface entered ERROR: address = status code, detail =
//              the reason ("illegal control code 65h", "WRITE_END before
//              any data byte", "request longer than 256 bytes", "read
//              error after 3 response bytes (injected)", ...)
//   "abort"    GET_STATUS/ABORT: address = the status code it will report,
//              detail = the state it came in ("WRITE")
//   "overrun"  a byte written while IBF was still set: value = the byte
//   "stopped"  the stop_after fault took effect, or the BMC stopped
//              answering: value = bytes taken
//   "state"    with kcs.log_states=1: address = old state bits, value =
//              new state bits, detail "IDLE -> WRITE"
//   "ports used under the kernel driver"
//              a program touched the registers while the kernel's ipmi_si
//              owns the interface (sim/core/kernel_ipmi_device.h): address = the
//              port, value = the byte written or read, width = 1 for a
//              write, 0 for a read; a run of reads of one port (a status
//              poll) is logged once
#ifndef SRVFW_SIM_BMC_KCS_INTERFACE_H
#define SRVFW_SIM_BMC_KCS_INTERFACE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/core/fault_count.h"
#include "sim/core/machine.h"

namespace sim {

namespace kcs {

enum StatusBit : std::uint8_t {
    kObf = 0x01,
    kIbf = 0x02,
    kSmsAtn = 0x04,
    kCommandData = 0x08,
};

inline constexpr std::uint8_t kStateMask = 0xC0;
enum State : std::uint8_t {
    kIdleState = 0x00,
    kReadState = 0x40,
    kWriteState = 0x80,
    kErrorState = 0xC0,
};

enum ControlCode : std::uint8_t {
    kGetStatusAbort = 0x60,
    kWriteStart = 0x61,
    kWriteEnd = 0x62,
    kReadByte = 0x68,  // written to the data register
};

enum StatusCode : std::uint8_t {
    kNoError = 0x00,
    kAbortedByCommand = 0x01,
    kIllegalControlCode = 0x02,
    kLengthError = 0x06,
    kUnspecifiedError = 0xFF,
};

const char* StateName(std::uint8_t state);  // "IDLE", "READ", "WRITE", "ERROR"

}  // namespace kcs

struct KcsConfig {
    bool present = true;
    std::uint16_t base = 0xCA2;
    unsigned spacing = 1;
    std::size_t maxRequest = 256;
    unsigned ibfPolls = 0;
    bool logStates = false;
    bool ibfStuck = false;
    std::optional<std::uint64_t> stopAfter;
    std::optional<std::size_t> readErrorAfter;
    FaultCount readErrorTimes = FaultCount::Always();
    std::uint8_t errorCode = kcs::kUnspecifiedError;

    // Throws std::invalid_argument naming the setting that cannot be
    // understood (a base whose status port would pass FFFFh...).
    static KcsConfig FromSettings(const Settings& settings);
};

class KcsInterface : public Device, public PortHandler {
  public:
    KcsInterface(Machine& machine, Bmc& bmc);

    std::string Name() const override { return "kcs"; }
    void Describe(std::ostream& out) const override;

    std::uint8_t PortIn(std::uint16_t port) override;
    void PortOut(std::uint16_t port, std::uint8_t value) override;

    const KcsConfig& Config() const { return mConfig; }
    // The status register as the host would read it, without counting as a
    // poll.
    std::uint8_t Status() const;
    // The status code GET_STATUS/ABORT would report now.
    std::uint8_t StatusCode() const { return mStatusCode; }

  private:
    enum class Phase { kIdle, kWriting, kLastByte, kReading, kAbortStatus, kAbortIdle, kError };

    void HostWrite(std::uint8_t value, bool command);
    void Take();
    void TakeControlCode(std::uint8_t code);
    void TakeData(std::uint8_t value);
    void FinishRequest();
    void SendNextResponseByte();
    void SetState(std::uint8_t state);
    void Output(std::uint8_t value);
    void EnterError(std::uint8_t code, const std::string& reason);
    void NoteUnderDriver(std::uint16_t port, std::uint8_t value, bool write);

    Machine& mMachine;
    Bmc& mBmc;
    KcsConfig mConfig;

    Phase mPhase = Phase::kIdle;
    std::uint8_t mState = kcs::kIdleState;
    std::uint8_t mInput = 0;
    std::uint8_t mOutput = 0;
    bool mInputFull = false;
    bool mOutputFull = false;
    bool mCommand = false;       // C/D: the last write went to the command register
    bool mAwaitingTake = false;  // a slow BMC has yet to notice the input byte
    unsigned mPollsLeft = 0;
    std::uint64_t mTaken = 0;
    bool mStopped = false;
    std::uint8_t mStatusCode = kcs::kNoError;
    std::vector<std::uint8_t> mRequest;
    std::vector<std::uint8_t> mResponse;
    std::size_t mNextResponseByte = 0;
    std::optional<std::uint16_t> mLastReadUnderDriver;
};

}  // namespace sim

#endif
