#include "virtual-drawer/simulator/Simulator.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "win32kit/ProcessResources.h"

namespace vdrawer {

using win32kit::UniqueHandle;
namespace {

// Pipe instances kept waiting per device: fast back-to-back opens otherwise
// find no free instance and fail with ERROR_PIPE_BUSY.
constexpr int kListenersPerDevice = 4;
constexpr int kControlListeners = 2;
constexpr DWORD kControlRequestMax = 512;
// The in-bound buffer lets a client's synchronous output report return at
// once. The out-bound buffer is 0: an input report's write stays pending
// until the client has read it, so the simulator knows what was read, and
// what the client has not read stays withdrawable.
constexpr DWORD kInBufferSize = 4096;

// The Windows error of a finished operation, from the status the system left
// in its OVERLAPPED record.
DWORD ErrorOf(const OVERLAPPED& overlapped) {
  using Convert = ULONG(WINAPI*)(LONG);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError")));
  const auto status = static_cast<LONG>(overlapped.Internal);
  if (status == 0) return ERROR_SUCCESS;
  return convert ? convert(status) : ERROR_GEN_FAILURE;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
    text += byte;
  }
  return text;
}

}  // namespace

struct Simulator::Operation {
  OVERLAPPED overlapped{};
  OpKind kind;
  std::uint64_t connectionId;
  std::vector<std::uint8_t> buffer;
  // A report write taken back: its completion, whatever it says, is not a read.
  bool withdrawn = false;
};

struct Simulator::Connection {
  std::uint64_t id = 0;
  UniqueHandle pipe;
  VirtualDevice* device = nullptr;  // null: the control pipe
  bool connected = false;
  ReportRing<std::vector<std::uint8_t>> ring;
  // The report writes in the pipe, oldest first; a withdrawn one leaves.
  std::vector<Operation*> writes;
};

Simulator::Simulator(SimulatorOptions options) : mOptions(std::move(options)) {
  for (const DeviceIdentity& identity : mOptions.devices) {
    auto device = std::make_unique<VirtualDevice>();
    device->identity = identity;
    device->pipePath = PipePathOf(identity);
    device->shutAfterMs = mOptions.shutAfterMs;
    device->drawer.SetAutoShutAfter(mOptions.shutAfterMs);
    device->drawer.SetSwitchDelay(mOptions.switchDelayMs);
    mDevices.push_back(std::move(device));
  }
  QueryPerformanceFrequency(&mFrequency);
  QueryPerformanceCounter(&mStart);
}

Simulator::~Simulator() {
  // Pipes first (their pending operations are abandoned with the process),
  // then the publication.
  mParked.clear();
  for (auto& entry : mConnections) CancelIoEx(entry.second->pipe.Get(), nullptr);
  mConnections.clear();
  if (mDevicesKey.Get()) {
    mDevicesKey.Reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kDevicesKeyPath);
  }
}

std::int64_t Simulator::NowTicks() const {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

std::uint64_t Simulator::NowMs() const {
  return static_cast<std::uint64_t>((NowTicks() - mStart.QuadPart) * 1000 / mFrequency.QuadPart);
}

bool Simulator::Start() {
  mMutex.Reset(CreateMutexA(nullptr, TRUE, kInstanceMutexName));
  if (!mMutex.IsOpen() || GetLastError() == ERROR_ALREADY_EXISTS) {
    std::fprintf(stderr, "virtual-drawer: a simulator is already running\n");
    return false;
  }
  mPort.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (!mPort.IsOpen()) {
    std::fprintf(stderr, "virtual-drawer: no completion port (error %lu)\n", GetLastError());
    return false;
  }
  // A simulator that died leaves its volatile key behind while the session
  // lasts: start from an empty one.
  RegDeleteKeyA(HKEY_CURRENT_USER, kDevicesKeyPath);
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDevicesKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, mDevicesKey.Put(), nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "virtual-drawer: cannot create HKCU\\%s\n", kDevicesKeyPath);
    return false;
  }
  for (int i = 0; i < kControlListeners; ++i) {
    Connection* control = NewInstance(nullptr, kControlPipePath);
    if (!control) return false;
    Listen(*control);
  }
  for (auto& device : mDevices) {
    OpenListeners(*device);
    Publish(*device);
  }
  mNextReportMs = NowMs() + mOptions.reportRateMs;
  return true;
}

void Simulator::RequestStop() {
  InterlockedExchange(&mStopRequested, 1);
  if (mPort.IsOpen()) PostQueuedCompletionStatus(mPort.Get(), 0, 0, nullptr);
}

// Completions are taken in batches, and those that have arrived are handled
// between two rounds of reports: with many handles (and many withdrawn
// writes) back-to-back rounds would otherwise starve them, and a client's
// flush would wait behind hundreds of them.
void Simulator::Run() {
  constexpr ULONG kBatch = 64;
  OVERLAPPED_ENTRY entries[kBatch];
  while (!mStopping && InterlockedCompareExchange(&mStopRequested, 0, 0) == 0) {
    std::uint64_t now = NowMs();
    if (now >= mNextReportMs) {
      ProduceReports();
      mNextReportMs += mOptions.reportRateMs;
      // After a stall, the clock restarts from now rather than catching up
      // with a burst of reports.
      if (mNextReportMs + mOptions.reportRateMs < now) mNextReportMs = now + mOptions.reportRateMs;
      now = NowMs();
    }
    const DWORD waitMs = now >= mNextReportMs ? 0 : static_cast<DWORD>(mNextReportMs - now);
    ULONG count = 0;
    if (!GetQueuedCompletionStatusEx(mPort.Get(), entries, kBatch, &count, waitMs, FALSE)) {
      continue;  // time-out
    }
    for (ULONG i = 0; i < count; ++i) {
      auto* op = reinterpret_cast<Operation*>(entries[i].lpOverlapped);
      auto found = mOperations.find(op);
      if (found == mOperations.end()) continue;  // the wake-up of RequestStop
      std::unique_ptr<Operation> owned = std::move(found->second);
      mOperations.erase(found);
      Complete(op, entries[i].dwNumberOfBytesTransferred, ErrorOf(op->overlapped));
    }
  }
}

Simulator::Operation* Simulator::NewOperation(OpKind kind, Connection& connection,
                                              std::size_t bufferSize) {
  auto op = std::make_unique<Operation>();
  op->kind = kind;
  op->connectionId = connection.id;
  op->buffer.assign(bufferSize, 0);
  Operation* raw = op.get();
  mOperations.emplace(raw, std::move(op));
  return raw;
}

Simulator::Connection* Simulator::NewInstance(VirtualDevice* device, const std::string& path) {
  HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                 PIPE_UNLIMITED_INSTANCES, 0, kInBufferSize, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "virtual-drawer: cannot create %s (error %lu)\n", path.c_str(),
                 GetLastError());
    return nullptr;
  }
  auto connection = std::make_unique<Connection>();
  connection->id = mNextId++;
  connection->pipe.Reset(pipe);
  connection->device = device;
  CreateIoCompletionPort(pipe, mPort.Get(), static_cast<ULONG_PTR>(connection->id), 0);
  Connection* raw = connection.get();
  mConnections.emplace(raw->id, std::move(connection));
  return raw;
}

void Simulator::Listen(Connection& connection) {
  Operation* op = NewOperation(OpKind::kConnect, connection, 0);
  if (ConnectNamedPipe(connection.pipe.Get(), &op->overlapped)) return;
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) return;
  // Completed at once: no completion packet follows, so post our own.
  if (error == ERROR_PIPE_CONNECTED) {
    op->overlapped.Internal = 0;  // its status: done
    PostQueuedCompletionStatus(mPort.Get(), 0, static_cast<ULONG_PTR>(connection.id),
                               &op->overlapped);
    return;
  }
  mOperations.erase(op);
  CloseConnection(connection.id);
}

void Simulator::OpenListeners(VirtualDevice& device) {
  int waiting = 0;
  for (auto& entry : mConnections) {
    if (entry.second->device == &device && !entry.second->connected) ++waiting;
  }
  for (; waiting < kListenersPerDevice; ++waiting) {
    Connection* connection = NewInstance(&device, device.pipePath);
    if (!connection) return;
    Listen(*connection);
  }
}

void Simulator::CloseAllInstances(VirtualDevice& device) {
  std::vector<std::uint64_t> ids;
  for (auto& entry : mConnections) {
    if (entry.second->device == &device) ids.push_back(entry.first);
  }
  for (std::uint64_t id : ids) CloseConnection(id);
  mParked.erase(&device);
}

// Keeps one instance in the disconnected state: the name exists (so the
// device is still listed) but every open fails with ERROR_PIPE_BUSY.
void Simulator::Park(VirtualDevice& device) {
  std::vector<std::uint64_t> listeners;
  for (auto& entry : mConnections) {
    if (entry.second->device == &device && !entry.second->connected) {
      listeners.push_back(entry.first);
    }
  }
  for (std::uint64_t id : listeners) CloseConnection(id);
  UniqueHandle parked(CreateNamedPipeA(device.pipePath.c_str(), PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 0, kInBufferSize, 0, nullptr));
  if (!parked.IsOpen()) return;
  UniqueHandle self(CreateFileA(device.pipePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  self.Reset();
  DisconnectNamedPipe(parked.Get());
  mParked[&device] = std::move(parked);
}

void Simulator::Unpark(VirtualDevice& device) {
  mParked.erase(&device);
  OpenListeners(device);
}

void Simulator::OnConnected(Connection& connection) {
  connection.connected = true;
  if (!connection.device) {
    Operation* op = NewOperation(OpKind::kRead, connection, kControlRequestMax);
    if (!ReadFile(connection.pipe.Get(), op->buffer.data(), kControlRequestMax, nullptr,
                  &op->overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      mOperations.erase(op);
      CloseConnection(connection.id);
    }
    Connection* next = NewInstance(nullptr, kControlPipePath);
    if (next) Listen(*next);
    return;
  }
  VirtualDevice& device = *connection.device;
  StartRead(connection);
  if (device.plugged && !device.failOpens) OpenListeners(device);
}

void Simulator::StartRead(Connection& connection) {
  Operation* op = NewOperation(OpKind::kRead, connection, kMaxReportLength);
  if (ReadFile(connection.pipe.Get(), op->buffer.data(), kMaxReportLength, nullptr,
               &op->overlapped) ||
      GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
    return;
  }
  mOperations.erase(op);
  CloseConnection(connection.id);
}

bool Simulator::WriteReport(Connection& connection, const std::vector<std::uint8_t>& report) {
  Operation* op = NewOperation(OpKind::kWrite, connection, 0);
  op->buffer = report;
  if (WriteFile(connection.pipe.Get(), op->buffer.data(), static_cast<DWORD>(op->buffer.size()),
                nullptr, &op->overlapped) ||
      GetLastError() == ERROR_IO_PENDING) {
    connection.writes.push_back(op);
    return true;
  }
  mOperations.erase(op);
  CloseConnection(connection.id);
  return false;
}

void Simulator::CloseConnection(std::uint64_t id) {
  auto found = mConnections.find(id);
  if (found == mConnections.end()) return;
  // Pending operations come back aborted and find no connection: they are
  // freed then, never before the system is done with them.
  CancelIoEx(found->second->pipe.Get(), nullptr);
  mConnections.erase(found);
}

void Simulator::Complete(Operation* op, DWORD bytes, DWORD error) {
  auto found = mConnections.find(op->connectionId);
  if (found == mConnections.end()) return;
  Connection& connection = *found->second;
  switch (op->kind) {
    case OpKind::kConnect:
      if (error == ERROR_SUCCESS || error == ERROR_PIPE_CONNECTED) {
        OnConnected(connection);
      } else {
        CloseConnection(connection.id);
      }
      return;
    case OpKind::kRead:
      if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        CloseConnection(connection.id);
        return;
      }
      op->buffer.resize(bytes);
      if (!connection.device) {
        ExecuteControl(connection, std::string(op->buffer.begin(), op->buffer.end()));
        return;
      }
      if (IsFlushRequest(op->buffer)) {
        const std::uint64_t id = connection.id;
        Flush(connection);
        if (mConnections.find(id) == mConnections.end()) return;  // its write failed
      } else {
        connection.device->ReceiveOutput(op->buffer.data(), op->buffer.size(), NowMs());
      }
      StartRead(connection);
      return;
    case OpKind::kWrite:
      if (!connection.device) {
        // The control answer was read: this request is done.
        CloseConnection(connection.id);
        if (mStopAfterAnswer) mStopping = true;
        return;
      }
      CompleteReportWrite(connection, op, error);
      return;
  }
}

// A report write finished: the client read the report, unless the write was
// withdrawn. If reports were held back meanwhile, the client reads again
// after a pause: what it has not read yet goes, and the held ones follow.
void Simulator::CompleteReportWrite(Connection& connection, Operation* op, DWORD error) {
  if (op->withdrawn) return;
  auto& writes = connection.writes;
  writes.erase(std::remove(writes.begin(), writes.end(), op), writes.end());
  if (error != ERROR_SUCCESS) {
    CloseConnection(connection.id);
    return;
  }
  const std::deque<std::vector<std::uint8_t>> held = connection.ring.Read(NowMs());
  if (held.empty()) return;
  WithdrawWrites(connection);
  for (const std::vector<std::uint8_t>& report : held) {
    if (!WriteReport(connection, report)) return;
  }
}

// Cancels report writes still in the handle's pipe, the oldest `count` or
// all. One the client has read meanwhile completes normally; either way its
// completion is ignored.
void Simulator::WithdrawWrites(Connection& connection, std::size_t count) {
  auto& writes = connection.writes;
  const std::size_t withdrawn = std::min(count, writes.size());
  for (std::size_t i = 0; i < withdrawn; ++i) {
    writes[i]->withdrawn = true;
    CancelIoEx(connection.pipe.Get(), &writes[i]->overlapped);
  }
  writes.erase(writes.begin(), writes.begin() + static_cast<std::ptrdiff_t>(withdrawn));
}

// Drops every report held for the handle, those in its pipe included.
void Simulator::DropHeldReports(Connection& connection) {
  WithdrawWrites(connection);
  connection.ring.Clear();
}

// HidD_FlushQueue on this handle: every report held for it goes, and the
// marker tells the client where the flush ended (the client reads and drops
// anything before it).
void Simulator::Flush(Connection& connection) {
  DropHeldReports(connection);
  // The ring is empty now: the marker goes to the pipe.
  const std::vector<std::uint8_t> marker = FlushMarkerReport();
  connection.ring.Add(marker, NowMs());
  WriteReport(connection, marker);
}

void Simulator::ProduceReports() {
  const std::uint64_t now = NowMs();
  for (auto& device : mDevices) {
    if (!device->plugged || device->silent) continue;
    const std::vector<std::uint8_t> report = device->NextInputReport(now);
    // A write that fails closes its connection: walk a copy of the ids.
    std::vector<std::uint64_t> ids;
    for (auto& entry : mConnections) {
      if (entry.second->device == device.get() && entry.second->connected) {
        ids.push_back(entry.first);
      }
    }
    for (std::uint64_t id : ids) {
      auto found = mConnections.find(id);
      if (found == mConnections.end()) continue;
      Connection& connection = *found->second;
      using Added = ReportRing<std::vector<std::uint8_t>>::Added;
      switch (connection.ring.Add(report, now)) {
        case Added::kWriteAndWithdrawOldest:
          WithdrawWrites(connection, 1);
          WriteReport(connection, report);
          break;
        case Added::kWrite:
          WriteReport(connection, report);
          break;
        case Added::kHeld:
          break;
      }
    }
  }
}

void Simulator::Publish(const VirtualDevice& device) {
  const std::string& path = device.pipePath;
  RegSetValueExA(mDevicesKey.Get(), device.identity.serial.c_str(), 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(path.c_str()), static_cast<DWORD>(path.size() + 1));
}

void Simulator::Unpublish(const VirtualDevice& device) {
  RegDeleteValueA(mDevicesKey.Get(), device.identity.serial.c_str());
}

void Simulator::ExecuteControl(Connection& connection, const std::string& request) {
  const ParsedCommand parsed = ParseControlCommand(request);
  std::string answer = parsed.command ? Execute(*parsed.command) : "error " + parsed.error + "\n";
  Operation* op = NewOperation(OpKind::kWrite, connection, 0);
  op->buffer.assign(answer.begin(), answer.end());
  if (!WriteFile(connection.pipe.Get(), op->buffer.data(), static_cast<DWORD>(op->buffer.size()),
                 nullptr, &op->overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    mOperations.erase(op);
    CloseConnection(connection.id);
  }
}

// The simulator's own line: its process (for a test that kills it), the
// report period, and what it holds, to watch it for leaks.
std::string Simulator::SimulatorLine() const {
  char line[160];
  std::snprintf(line, sizeof line, "simulator pid=%lu rate=%u heap=%zu handles=%zu\n",
                GetCurrentProcessId(), mOptions.reportRateMs, win32kit::HeapBytesInUse(),
                win32kit::CountProcessHandles());
  return line;
}

std::string Simulator::StatusLine(const VirtualDevice& device) const {
  int handles = 0;
  for (const auto& entry : mConnections) {
    if (entry.second->device == &device && entry.second->connected) ++handles;
  }
  const DeviceIdentity& id = device.identity;
  char line[360];
  std::snprintf(line, sizeof line,
                "device %s vid=%04x pid=%04x in=%u out=%u drawer=%s plugged=%s reporting=%s "
                "opens=%s handles=%d pulses=%u outputs=%llu shut-after=%s switch-delay=%llu\n",
                id.serial.c_str(), id.vendorId, id.productId, id.inputLength, id.outputLength,
                const_cast<VirtualDevice&>(device).drawer.IsOpenAt(NowMs()) ? "open" : "closed",
                device.plugged ? "yes" : "no", device.silent ? "no" : "yes",
                device.failOpens ? "fail" : "accept", handles, device.drawer.PulseCount(),
                static_cast<unsigned long long>(device.outputCount),
                device.shutAfterMs ? std::to_string(*device.shutAfterMs).c_str() : "off",
                static_cast<unsigned long long>(device.drawer.SwitchDelay()));
  return line;
}

std::string Simulator::Execute(const ControlCommand& command) {
  std::vector<VirtualDevice*> targets;
  for (auto& device : mDevices) {
    if (!command.serial || device->identity.serial == *command.serial) {
      targets.push_back(device.get());
    }
  }
  if (command.serial && targets.empty()) return "error no device " + *command.serial + "\n";

  const std::uint64_t now = NowMs();
  std::ostringstream answer;
  // The moment a change took effect, on the machine's performance counter,
  // so a client can time what follows from it.
  answer << "ok qpc=" << NowTicks() << "\n";
  switch (command.verb) {
    case Verb::kStatus:
      answer << SimulatorLine();
      for (VirtualDevice* device : targets) answer << StatusLine(*device);
      break;
    case Verb::kOpen:
    case Verb::kClose:
      for (VirtualDevice* device : targets)
        device->drawer.SetOpen(command.verb == Verb::kOpen, now);
      break;
    case Verb::kUnplug:
      for (VirtualDevice* device : targets) {
        if (!device->plugged) continue;
        device->plugged = false;
        Unpublish(*device);
        CloseAllInstances(*device);
      }
      break;
    case Verb::kPlug:
      for (VirtualDevice* device : targets) {
        if (device->plugged) continue;
        device->plugged = true;
        if (device->failOpens) {
          Park(*device);
        } else {
          OpenListeners(*device);
        }
        Publish(*device);
      }
      break;
    case Verb::kSilence:
    case Verb::kResume:
      for (VirtualDevice* device : targets) {
        device->silent = command.verb == Verb::kSilence;
        if (!device->silent) continue;
        // A silenced device delivers nothing more, also not what was queued.
        // (A flush still answers with its marker.)
        for (auto& entry : mConnections) {
          if (entry.second->device == device) DropHeldReports(*entry.second);
        }
      }
      break;
    case Verb::kFailOpens:
    case Verb::kAcceptOpens:
      for (VirtualDevice* device : targets) {
        const bool fail = command.verb == Verb::kFailOpens;
        if (device->failOpens == fail) continue;
        device->failOpens = fail;
        if (!device->plugged) continue;
        if (fail) {
          Park(*device);
        } else {
          Unpark(*device);
        }
      }
      break;
    case Verb::kShutAfter:
      for (VirtualDevice* device : targets) {
        device->shutAfterMs = command.number;
        device->drawer.SetAutoShutAfter(command.number);
      }
      break;
    case Verb::kSwitchDelay:
      for (VirtualDevice* device : targets) device->drawer.SetSwitchDelay(*command.number);
      break;
    case Verb::kRate:
      mOptions.reportRateMs = *command.number;
      mNextReportMs = now + mOptions.reportRateMs;
      break;
    case Verb::kReports:
      for (VirtualDevice* device : targets) {
        for (const OutputReport& report : device->outputs) {
          answer << "report " << device->identity.serial << " at=" << report.atMs << " "
                 << Hex(report.bytes) << "\n";
        }
      }
      break;
    case Verb::kClearReports:
      for (VirtualDevice* device : targets) device->outputs.clear();
      break;
    case Verb::kStop:
      mStopAfterAnswer = true;
      break;
  }
  return answer.str();
}

}  // namespace vdrawer
