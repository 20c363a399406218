#pragma once
// The list of USB printers present, kept in the file named by
// CARILLON_USB_DEVICES: one line per printer, "<instance id>\t<device path>".
// The line's position is the printer's entry number. Changes are made under
// a lock file and renamed into place, so readers never see half a list.

#include <string>
#include <utility>
#include <vector>

namespace carillon::sim {

class UsbDeviceList {
public:
    static constexpr const char* kEnvironmentVariable = "CARILLON_USB_DEVICES";
    // The file named by the environment, or empty.
    static std::string PathFromEnvironment();

    explicit UsbDeviceList(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }

    using Entry = std::pair<std::string, std::string>;  // instance id, device path
    std::vector<Entry> Entries() const;
    // Appends a line: a printer that comes back may get another entry number.
    bool Add(const std::string& instanceId, const std::string& devicePath, std::string* error = nullptr);
    // Removes the lines with this instance id and device path.
    bool Remove(const std::string& instanceId, const std::string& devicePath);

private:
    template <typename Change>
    bool Update(Change change, std::string* error);

    std::string m_path;
};

}  // namespace carillon::sim
