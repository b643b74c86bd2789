// The simulator process: any number of virtual HID devices, each served as a
// message-mode named pipe, plus a control pipe that takes one command per
// connection. One thread drives everything through an I/O completion port;
// input reports are produced on a fixed clock (10 ms by default) and held
// per open handle, up to 32, as the HID class driver does (ReportRing.h);
// HidD_FlushQueue empties what a handle holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "virtual-drawer/core/ControlCommand.h"
#include "virtual-drawer/core/FlushMarker.h"
#include "virtual-drawer/core/ReportRing.h"
#include "virtual-drawer/core/SimulatorNames.h"
#include "virtual-drawer/simulator/VirtualDevice.h"
#include "win32kit/Owners.h"
#include "win32kit/WinHeaders.h"

namespace vdrawer {

struct SimulatorOptions {
  std::vector<DeviceIdentity> devices;
  std::uint32_t reportRateMs = 10;
  std::optional<std::uint32_t> shutAfterMs;
  // A real drawer's switch moves some tens of milliseconds after the pulse.
  std::uint32_t switchDelayMs = 50;
};

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Opens the pipes and publishes the devices; false (with a message on
  // stderr) when that fails. Then Run serves until "stop" or RequestStop.
  bool Start();
  void Run();
  // Safe from any thread (the console control handler).
  void RequestStop();

 private:
  struct Operation;
  struct Connection;
  enum class OpKind { kConnect, kRead, kWrite };

  std::uint64_t NowMs() const;
  std::int64_t NowTicks() const;

  // Device pipes.
  void OpenListeners(VirtualDevice& device);
  void CloseAllInstances(VirtualDevice& device);
  void Park(VirtualDevice& device);
  void Unpark(VirtualDevice& device);
  Connection* NewInstance(VirtualDevice* device, const std::string& path);
  void Listen(Connection& connection);
  void OnConnected(Connection& connection);
  void StartRead(Connection& connection);
  // Hands one report to the handle's pipe. False when that failed and the
  // connection is gone.
  bool WriteReport(Connection& connection, const std::vector<std::uint8_t>& report);
  void CloseConnection(std::uint64_t id);
  void Complete(Operation* op, DWORD bytes, DWORD error);
  void CompleteReportWrite(Connection& connection, Operation* op, DWORD error);
  void ProduceReports();
  void WithdrawWrites(Connection& connection, std::size_t count = SIZE_MAX);
  void DropHeldReports(Connection& connection);
  void Flush(Connection& connection);

  // Control pipe.
  void ExecuteControl(Connection& connection, const std::string& request);
  std::string Execute(const ControlCommand& command);
  std::string SimulatorLine() const;
  std::string StatusLine(const VirtualDevice& device) const;

  // Publication of the plugged devices.
  void Publish(const VirtualDevice& device);
  void Unpublish(const VirtualDevice& device);

  Operation* NewOperation(OpKind kind, Connection& connection, std::size_t bufferSize);

  SimulatorOptions mOptions;
  std::vector<std::unique_ptr<VirtualDevice>> mDevices;
  std::map<std::uint64_t, std::unique_ptr<Connection>> mConnections;
  std::map<Operation*, std::unique_ptr<Operation>> mOperations;
  // Per device in "fail opens": the one pipe instance kept, disconnected, so
  // that the name exists but every open finds it busy.
  std::map<VirtualDevice*, win32kit::UniqueHandle> mParked;
  std::uint64_t mNextId = 1;
  win32kit::UniqueHandle mPort;
  win32kit::UniqueHandle mMutex;
  win32kit::UniqueHkey mDevicesKey;
  LARGE_INTEGER mFrequency{};
  LARGE_INTEGER mStart{};
  std::uint64_t mNextReportMs = 0;
  volatile LONG mStopRequested = 0;
  bool mStopping = false;
  // "stop" ends the simulator once its answer has been read.
  bool mStopAfterAnswer = false;
};

}  // namespace vdrawer
