// A device source the tests control: the devices "present", the port map (kept in step
// with a real ports.conf so that the control opens what the map names) and hot-plug news
// sent when a test says so.
#pragma once

#include <QFileInfo>
#include <QMap>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/devices/device_source.h"

namespace tcu::test {

class FakeDeviceSource final : public devices::DeviceSource {
public:
    // mapFile: the ports.conf the control reads; every mapping is written there too.
    explicit FakeDeviceSource(std::string mapFile = {}) : mapFile_(std::move(mapFile)) {}

    std::vector<devices::DeviceInfo> devices;
    QMap<int, QString> map;          // port number -> path
    std::optional<QString> mapError; // what mapPort answers instead of mapping
    QMap<int, QString> mapped;       // every successful mapPort call
    bool watching = false;

    std::vector<devices::DeviceInfo> list() override { return devices; }
    std::optional<devices::DeviceInfo> find(const QString& path) override {
        const QStringList chain = devices::linkChain(path);
        for (const devices::DeviceInfo& d : devices)
            if (chain.contains(d.node) || (!d.stableName.isEmpty() && chain.contains(d.stableName)))
                return d;
        return std::nullopt;
    }
    // A listed device, or any path that leads to something (a pseudo-terminal).
    bool present(const QString& path) override {
        return find(path).has_value() || QFileInfo::exists(path);
    }
    QString portPath(int port) override { return map.value(port); }
    std::optional<QString> mapPort(int port, const QString& device) override {
        if (mapError)
            return mapError;
        map[port] = device;
        mapped[port] = device;
        writeMap();
        return std::nullopt;
    }
    bool watch() override {
        watching = true;
        return true;
    }

    // Sets port's path (and the map file).
    void setPort(int port, const QString& path) {
        map[port] = path;
        writeMap();
    }
    // A device plugged in or pulled out: listed or not, and the news sent.
    void plugIn(const devices::DeviceInfo& d) {
        devices.push_back(d);
        emit changed(devices::DeviceChange::Added, d);
    }
    void pullOut(const devices::DeviceInfo& d) {
        std::erase_if(devices, [&](const devices::DeviceInfo& x) { return x.node == d.node; });
        emit changed(devices::DeviceChange::Removed, d);
    }

private:
    void writeMap() {
        if (mapFile_.empty())
            return;
        std::filesystem::create_directories(std::filesystem::path(mapFile_).parent_path());
        std::ofstream out(mapFile_, std::ios::trunc);
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            out << "COM" << it.key() << "=" << it.value().toStdString() << "\n";
    }

    std::string mapFile_;
};

} // namespace tcu::test
