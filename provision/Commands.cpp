#include "provision/Commands.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "provision/DeviceValues.h"
#include "provision/Text.h"
#include "quillvane_version.h"
#include "service/Conversions.h"

namespace qvprovision {
namespace {

using quillvane::LongToText;

const std::u16string kPrefix = u"qvprovision: ";

struct OptionSlot {
  const char16_t* name;
  std::optional<std::u16string> DeviceSettings::*slot;
};
const OptionSlot kValueOptions[] = {
    {u"--pid", &DeviceSettings::productId},
    {u"--service", &DeviceSettings::progId},
    {u"--service-description", &DeviceSettings::serviceDescription},
    {u"--description", &DeviceSettings::description},
    {u"--device-name", &DeviceSettings::deviceName},
    {u"--version", &DeviceSettings::version},
    {u"--trace-level", &DeviceSettings::traceLevel},
    {u"--reconnect", &DeviceSettings::reconnect},
};

const char16_t kProgramHelpStart[] =
    u"qvprovision configures the logical cash-drawer devices of the quillvane service object,\n"
    u"the keys below HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer.\n"
    u"\n"
    u"  qvprovision list                  the devices, one a line: name, PID, service ProgID\n"
    u"  qvprovision show <name>           every value of one device, one a line: name, type, "
    u"data\n"
    u"  qvprovision add <name> --pid <n> [options]   makes a device\n"
    u"  qvprovision set <name> <options>  changes values of a device\n"
    u"  qvprovision remove <name>         deletes a device\n"
    u"  qvprovision hid                   the HID devices with vendor id 0x06E5 present, one a "
    u"line:\n"
    u"                                    product id, the PID that matches it, device path\n"
    u"  qvprovision <command> --help      the options of one command\n"
    u"\n"
    u"Fields of a line are separated by tabs. Changing the registry needs an elevated prompt\n"
    u"(Run as administrator); listing does not.\n"
    u"\n"
    u"64-bit Windows keeps two registry views: a 64-bit POS application reads the devices of\n"
    u"the 64-bit view, a 32-bit one those of the 32-bit view. qvprovision works in the view of\n"
    u"its own bitness (this one: the ";
const char16_t kProgramHelpEnd[] =
    u"); list, show, add, set and remove\n"
    u"take --view 32 or --view 64 to work in the other one. For POS applications of both\n"
    u"bitnesses, add the device in each view.\n"
    u"\n"
    u"Exit codes: 0 done (warnings, if any, on standard error); 1 usage error or bad input,\n"
    u"nothing written; 2 no such device, or it already exists; 3 access denied, run elevated;\n"
    u"4 any other system error.";

std::u16string ViewName(RegistryView view) {
  return view == RegistryView::k64 ? u"64-bit view" : u"32-bit view";
}

std::u16string ProgramHelp(RegistryView own) {
  return kProgramHelpStart + ViewName(own) + kProgramHelpEnd;
}

const char16_t kValueOptionsHelp[] =
    u"  --pid <number>                 \"PID\": the drawer's USB product id in decimal; ids from\n"
    u"                                 0x8000 up are written negative (0x8001 is -32767), and\n"
    u"                                 &H4D2 is read as hexadecimal. qvprovision hid lists them.\n"
    u"  --service <progid>             the key's default value, the ProgID of the service object\n"
    u"                                 (default quillvane.CashDrawer)\n"
    u"  --service-description <text>   \"Service\" (default \"quillvane cash drawer service "
    u"object\")\n"
    u"  --description <text>           \"Description\" (default \"USB cash drawer\")\n"
    u"  --device-name <text>           \"Name\" (default: the device's name)\n"
    u"  --version <number>             \"Version\", the service object's version as one number\n"
    u"                                 (default " QV_VERSION_OPOS_TEXT ", for quillvane " QV_VERSION_TEXT
    u")\n"
    u"  --trace-level <0-4>            \"TraceLevel\", the device's field trace in\n"
    u"                                 %ProgramData%\\quillvane\\logs: 0 off, 1 errors, 2 calls,\n"
    u"                                 3 events, 4 reports (not written unless given: the\n"
    u"                                 machine's HKLM\\SOFTWARE\\quillvane value, else 1)\n"
    u"  --reconnect <0|1>              \"Reconnect\": 1 finds an unplugged drawer again and\n"
    u"                                 reports power; 0 (as when absent) leaves it lost\n";

struct CommandInfo {
  const char16_t* name;
  bool takesName;
  bool takesValues;
  bool takesView;  // works in a registry view
  const char16_t* help;
};
const CommandInfo kCommands[] = {
    {u"list", false, false, true,
     u"Usage: qvprovision list\n"
     u"Lists the configured devices, one a line: name, \"PID\" and the service object's ProgID\n"
     u"(the key's default value), separated by tabs. No devices: no lines."},
    {u"show", true, false, true,
     u"Usage: qvprovision show <name>\n"
     u"Shows every value of the device, one a line: value name ((default) for the key's\n"
     u"default value), type and data, separated by tabs."},
    {u"add", true, true, true, nullptr},
    {u"set", true, true, true, nullptr},
    {u"remove", true, false, true,
     u"Usage: qvprovision remove <name>\n"
     u"Deletes the device's key with everything in it, and nothing else."},
    {u"hid", false, false, false,
     u"Usage: qvprovision hid\n"
     u"Lists the HID devices present with vendor id 0x06E5, one a line: the product id in\n"
     u"hexadecimal, the \"PID\" that matches it (negative from 0x8000 up) and the device path."},
};

std::u16string Quoted(const std::u16string& text) { return u"\"" + text + u"\""; }

std::u16string DevicePath(const std::u16string& name) {
  return std::u16string(kCategoryPath) + u"\\" + name;
}

std::u16string ValueLabel(const std::u16string& name) {
  return name.empty() ? u"the default value" : Quoted(name);
}

std::u16string Status(std::int32_t status) { return u"system error " + LongToText(status); }

// Gives the registry back a key it opened, once, however a command ends.
class OpenedKey {
 public:
  explicit OpenedKey(RegistryPort& registry) : mRegistry(registry) {}
  ~OpenedKey() { Close(); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  std::int32_t Open(const std::u16string& path, bool forWriting) {
    Close();
    const std::int32_t status = mRegistry.OpenKey(path, forWriting, &mKey);
    mOpen = status == kStatusOk;
    return status;
  }
  std::int32_t Create(const std::u16string& path, bool* created) {
    Close();
    const std::int32_t status = mRegistry.CreateKey(path, &mKey, created);
    mOpen = status == kStatusOk;
    return status;
  }
  void Close() {
    if (mOpen) mRegistry.CloseKey(mKey);
    mOpen = false;
  }
  KeyToken Get() const { return mKey; }

 private:
  RegistryPort& mRegistry;
  KeyToken mKey = 0;
  bool mOpen = false;
};

class Provisioner {
 public:
  Provisioner(RegistryPort& registry, HidPort& hid, ConsolePort& console)
      : mRegistry(registry), mHid(hid), mConsole(console) {}

  int Run(const std::vector<std::u16string>& args) {
    if (args.empty()) {
      mConsole.Err(ProgramHelp(mRegistry.View()));
      return kExitUsage;
    }
    const std::u16string& word = args[0];
    if (word == u"-h" || word == u"--help" || word == u"help") {
      if (args.size() > 1 && Find(args[1])) return Help(*Find(args[1]));
      mConsole.Out(ProgramHelp(mRegistry.View()));
      return kExitOk;
    }
    const CommandInfo* command = Find(word);
    if (!command) return Usage(u"unknown command " + Quoted(word), nullptr);

    std::vector<std::u16string> names;
    DeviceSettings settings;
    std::optional<std::u16string> viewText;
    bool optionsEnd = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::u16string& arg = args[i];
      if (optionsEnd || arg.size() < 2 || arg[0] != u'-') {
        names.push_back(arg);
        continue;
      }
      if (arg == u"--") {
        optionsEnd = true;
        continue;
      }
      if (arg == u"-h" || arg == u"--help") return Help(*command);
      const std::size_t equals = arg.find(u'=');
      const std::u16string option = arg.substr(0, equals);
      std::optional<std::u16string>* target = nullptr;
      for (const OptionSlot& candidate : kValueOptions) {
        if (command->takesValues && option == candidate.name) target = &(settings.*candidate.slot);
      }
      if (command->takesView && option == u"--view") target = &viewText;
      if (!target) return Usage(u"unknown option " + Quoted(option), command);
      std::optional<std::u16string>& value = *target;
      if (value) return Usage(option + u" is given twice", command);
      if (equals != std::u16string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return Usage(option + u" needs a value", command);
      }
    }
    if (command->takesName && names.empty()) {
      return Usage(std::u16string(command->name) + u" needs a device name", command);
    }
    const std::size_t expected = command->takesName ? 1 : 0;
    if (names.size() > expected) return Usage(u"unexpected " + Quoted(names[expected]), command);
    if (viewText) {
      if (*viewText != u"32" && *viewText != u"64") {
        return Usage(u"--view takes 32 or 64, not " + Quoted(*viewText), command);
      }
      const RegistryView view = *viewText == u"64" ? RegistryView::k64 : RegistryView::k32;
      if (!mRegistry.UseView(view)) {
        Error(u"this Windows has no " + ViewName(view) +
              u": it has one view, read by every POS "
              u"application");
        return kExitUsage;
      }
    }

    const std::u16string name = command->takesName ? names[0] : u"";
    const std::u16string which = command->name;
    if (which == u"list") return List();
    if (which == u"show") return Show(name);
    if (which == u"add") return Add(name, settings);
    if (which == u"set") return Set(name, settings);
    if (which == u"remove") return Remove(name);
    return Hid();
  }

 private:
  static const CommandInfo* Find(const std::u16string& word) {
    for (const CommandInfo& command : kCommands) {
      if (word == command.name) return &command;
    }
    return nullptr;
  }

  int Help(const CommandInfo& command) {
    const std::u16string view =
        command.takesView
            ? u"  --view 32|64                   the registry view to work in, read by POS "
              u"applications\n"
              u"                                 of that bitness (default: the " +
                  ViewName(mRegistry.View()) + u", this program's own)"
            : u"";
    if (command.help) {
      mConsole.Out(command.help + (view.empty() ? u"" : u"\n" + view));
    } else if (std::u16string(command.name) == u"add") {
      mConsole.Out(
          u"Usage: qvprovision add <name> --pid <number> [options]\n"
          u"Makes the device <name> with the default value and the values \"PID\", "
          u"\"Service\",\n"
          u"\"Description\", \"Name\" and \"Version\", and \"TraceLevel\" and \"Reconnect\" when\n"
          u"given. A name that exists is refused (use set).\n"
          u"A name has 1 to 254 characters, no backslash and no control characters. If a value\n"
          u"cannot be written, the device key is removed again.\n" +
          std::u16string(kValueOptionsHelp) + view);
    } else {
      mConsole.Out(
          u"Usage: qvprovision set <name> <options>\n"
          u"Changes the values given, at least one, of an existing device. Every value is\n"
          u"checked before any is written; if one cannot be written, those already written are\n"
          u"put back.\n" +
          std::u16string(kValueOptionsHelp) + view);
    }
    return kExitOk;
  }

  int Usage(const std::u16string& problem, const CommandInfo* command) {
    Error(problem);
    mConsole.Err(u"run \"qvprovision " +
                 (command ? std::u16string(command->name) + u" --help" : u"--help") +
                 u"\" for the usage");
    return kExitUsage;
  }

  void Error(const std::u16string& text) { mConsole.Err(kPrefix + u"error: " + text); }

  // Prints the findings; false when one of them is an error.
  bool Accept(const std::vector<Finding>& findings) {
    bool accepted = true;
    for (const Finding& finding : findings) {
      mConsole.Err(kPrefix + (finding.isError ? u"error: " : u"warning: ") + finding.text);
      accepted = accepted && !finding.isError;
    }
    if (!accepted) mConsole.Err(kPrefix + u"nothing was written");
    return accepted;
  }

  int Refuse(const std::u16string& problem) {
    Accept({{true, problem}});
    return kExitUsage;
  }

  // Reports a registry failure and gives its exit code.
  int Failure(const std::u16string& action, const std::u16string& path, std::int32_t status) {
    const std::u16string key = u"HKEY_LOCAL_MACHINE\\" + path;
    if (status == kStatusAccessDenied) {
      Error(u"access denied: cannot " + action + u" " + key);
      mConsole.Err(
          u"run qvprovision from an elevated command prompt (Run as administrator) to change "
          u"devices");
      return kExitAccessDenied;
    }
    Error(u"cannot " + action + u" " + key + u" (" + Status(status) + u")");
    return kExitSystemError;
  }

  int NoSuchDevice(const std::u16string& name) {
    Error(u"no device named " + Quoted(name) + u" in the " + ViewName(mRegistry.View()) +
          u" (qvprovision list shows the devices)");
    return kExitNotFound;
  }

  // Says on standard error which view list and show read, and who reads it.
  void NoteView() {
    const RegistryView view = mRegistry.View();
    mConsole.Err(kPrefix + u"the " + ViewName(view) + u", which " +
                 (view == RegistryView::k64 ? u"64" : u"32") + u"-bit POS applications read");
  }

  int List() {
    NoteView();
    OpenedKey category(mRegistry);
    std::int32_t status = category.Open(kCategoryPath, false);
    if (status == kStatusNotFound) return kExitOk;
    if (status != kStatusOk) return Failure(u"read", kCategoryPath, status);
    std::vector<std::u16string> names;
    for (std::uint32_t index = 0;; ++index) {
      std::u16string name;
      status = mRegistry.EnumKey(category.Get(), index, &name);
      if (status == kStatusNoMoreItems) break;
      if (status != kStatusOk) return Failure(u"list the devices of", kCategoryPath, status);
      names.push_back(name);
    }
    category.Close();

    int result = kExitOk;
    for (const std::u16string& name : names) {
      OpenedKey device(mRegistry);
      status = device.Open(DevicePath(name), false);
      std::u16string productId;
      std::u16string progId;
      if (status == kStatusOk) {
        productId = QueryText(device.Get(), u"PID");
        progId = QueryText(device.Get(), u"");
      } else {
        result = std::max(result, Failure(u"read", DevicePath(name), status));
      }
      mConsole.Out(name + u"\t" + productId + u"\t" + progId);
    }
    return result;
  }

  std::u16string QueryText(KeyToken key, const std::u16string& name) {
    RegistryValue value;
    return mRegistry.QueryValue(key, name, &value) == kStatusOk ? DataText(value) : u"";
  }

  int Show(const std::u16string& name) {
    if (auto problem = ExistingNameProblem(name)) return Refuse(*problem);
    NoteView();
    const std::u16string path = DevicePath(name);
    OpenedKey device(mRegistry);
    std::int32_t status = device.Open(path, false);
    if (status == kStatusNotFound) return NoSuchDevice(name);
    if (status != kStatusOk) return Failure(u"read", path, status);
    for (std::uint32_t index = 0;; ++index) {
      RegistryValue value;
      status = mRegistry.EnumValue(device.Get(), index, &value);
      if (status == kStatusNoMoreItems) return kExitOk;
      if (status != kStatusOk) return Failure(u"read", path, status);
      mConsole.Out((value.name.empty() ? u"(default)" : value.name) + u"\t" + TypeName(value.type) +
                   u"\t" + DataText(value));
    }
  }

  int Add(const std::u16string& name, const DeviceSettings& settings) {
    if (auto problem = NewNameProblem(name)) return Refuse(*problem);
    if (!settings.productId) return Usage(u"add needs --pid <number>", Find(u"add"));
    if (!Accept(CheckSettings(settings))) return kExitUsage;

    const std::u16string path = DevicePath(name);
    OpenedKey device(mRegistry);
    bool created = false;
    std::int32_t status = device.Create(path, &created);
    if (status != kStatusOk) return Failure(u"create", path, status);
    if (!created) {
      Error(u"device " + Quoted(name) + u" already exists (qvprovision set changes it)");
      return kExitNotFound;
    }
    // The key was made by this command: on any failure it goes again.
    const std::vector<RegistryValue> values = ValuesToWrite(settings, &name);
    const RegistryValue* failed = nullptr;
    try {
      for (const RegistryValue& value : values) {
        status = mRegistry.SetValue(device.Get(), value);
        if (status != kStatusOk) {
          failed = &value;
          break;
        }
      }
    } catch (...) {
      device.Close();
      mRegistry.DeleteTree(path);
      throw;
    }
    if (!failed) {
      mConsole.Out(u"added " + name + u" to the " + ViewName(mRegistry.View()));
      return kExitOk;
    }
    device.Close();
    const int result = Failure(u"write " + ValueLabel(failed->name) + u" of", path, status);
    const std::int32_t undone = mRegistry.DeleteTree(path);
    if (undone == kStatusOk) {
      mConsole.Err(kPrefix + u"the new device key was removed again");
    } else {
      Error(u"the half-made device key could not be removed (" + Status(undone) +
            u"); remove it with qvprovision remove " + Quoted(name));
    }
    return result;
  }

  int Set(const std::u16string& name, const DeviceSettings& settings) {
    if (auto problem = ExistingNameProblem(name)) return Refuse(*problem);
    if (settings.Empty()) return Usage(u"set needs at least one value to change", Find(u"set"));
    if (!Accept(CheckSettings(settings))) return kExitUsage;

    const std::u16string path = DevicePath(name);
    OpenedKey device(mRegistry);
    std::int32_t status = device.Open(path, true);
    if (status == kStatusNotFound) return NoSuchDevice(name);
    if (status != kStatusOk) return Failure(u"open", path, status);

    // What each value held before, to put back when a write fails.
    const std::vector<RegistryValue> values = ValuesToWrite(settings, nullptr);
    std::vector<std::optional<RegistryValue>> before;
    for (const RegistryValue& value : values) {
      RegistryValue old;
      status = mRegistry.QueryValue(device.Get(), value.name, &old);
      if (status != kStatusOk && status != kStatusNotFound) {
        return Failure(u"read " + ValueLabel(value.name) + u" of", path, status);
      }
      before.push_back(status == kStatusOk ? std::optional(old) : std::nullopt);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      status = mRegistry.SetValue(device.Get(), values[i]);
      if (status == kStatusOk) continue;
      const int result = Failure(u"write " + ValueLabel(values[i].name) + u" of", path, status);
      bool restored = true;
      for (std::size_t j = i; j-- > 0;) {
        const std::int32_t undone = before[j] ? mRegistry.SetValue(device.Get(), *before[j])
                                              : mRegistry.DeleteValue(device.Get(), values[j].name);
        if (undone != kStatusOk) {
          restored = false;
          Error(u"could not put back " + ValueLabel(values[j].name) + u" (" + Status(undone) +
                u")");
        }
      }
      if (restored && i > 0) mConsole.Err(kPrefix + u"the values written before were put back");
      return result;
    }
    mConsole.Out(u"changed " + name + u" in the " + ViewName(mRegistry.View()));
    return kExitOk;
  }

  int Remove(const std::u16string& name) {
    if (auto problem = ExistingNameProblem(name)) return Refuse(*problem);
    const std::u16string path = DevicePath(name);
    const std::int32_t status = mRegistry.DeleteTree(path);
    if (status == kStatusNotFound) return NoSuchDevice(name);
    if (status != kStatusOk) return Failure(u"remove", path, status);
    mConsole.Out(u"removed " + name + u" from the " + ViewName(mRegistry.View()));
    return kExitOk;
  }

  int Hid() {
    std::vector<HidInterface> interfaces;
    const std::int32_t status = mHid.ListInterfaces(&interfaces);
    if (status != kStatusOk) {
      Error(u"cannot list the HID devices (" + Status(status) + u")");
      return kExitSystemError;
    }
    int unknown = 0;
    int drawers = 0;
    for (const HidInterface& device : interfaces) {
      if (!device.queried) {
        ++unknown;
        continue;
      }
      if (device.vendorId != kDrawerVendorId) continue;
      ++drawers;
      // The service object compares the product id read as a signed 16-bit number.
      mConsole.Out(HexId(device.productId) + u"\t" +
                   LongToText(static_cast<std::int16_t>(device.productId)) + u"\t" + device.path);
    }
    if (unknown > 0) {
      mConsole.Err(kPrefix + LongToText(unknown) +
                   u" HID device(s) could not be opened to read their ids");
    }
    if (drawers == 0) {
      mConsole.Err(kPrefix + u"no HID device with vendor id " + HexId(kDrawerVendorId) +
                   u" is present");
    }
    return kExitOk;
  }

  RegistryPort& mRegistry;
  HidPort& mHid;
  ConsolePort& mConsole;
};

}  // namespace

int RunCommandLine(const std::vector<std::u16string>& args, RegistryPort& registry, HidPort& hid,
                   ConsolePort& console) {
  try {
    return Provisioner(registry, hid, console).Run(args);
  } catch (const std::exception& failure) {
    console.Err(kPrefix + u"error: " + quillvane::AsciiToText(failure.what()));
  } catch (...) {
    console.Err(kPrefix + u"error: an unexpected failure");
  }
  return kExitSystemError;
}

}  // namespace qvprovision
