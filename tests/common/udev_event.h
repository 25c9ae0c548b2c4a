// udev's word that a device came, went or changed, sent as udevd sends it
// once it has set the device up: on the kernel's uevent netlink family, to
// udev's multicast group, a "libudev" header and then the device's
// properties. Every udev monitor in the network namespace receives it;
// sending to the group takes CAP_NET_ADMIN.
#pragma once

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace norvane::test {

// The hash udev filters subsystems and device types by (MurmurHash2, seed 0).
inline std::uint32_t UdevHash(const std::string& text) {
  constexpr std::uint32_t kMultiplier = 0x5bd1e995;
  std::uint32_t hash = static_cast<std::uint32_t>(text.size());
  std::size_t at = 0;
  for (; at + 4 <= text.size(); at += 4) {
    std::uint32_t word;
    std::memcpy(&word, text.data() + at, 4);
    word *= kMultiplier;
    word ^= word >> 24;
    word *= kMultiplier;
    hash = hash * kMultiplier ^ word;
  }
  const auto byte = [&text](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])); };
  switch (text.size() - at) {
    case 3: hash ^= byte(at + 2) << 16; [[fallthrough]];
    case 2: hash ^= byte(at + 1) << 8; [[fallthrough]];
    case 1: hash = (hash ^ byte(at)) * kMultiplier;
  }
  hash ^= hash >> 13;
  hash *= kMultiplier;
  return hash ^ (hash >> 15);
}

// Sends the event; 0, or the errno of the send (EPERM without CAP_NET_ADMIN).
inline int AnnounceUdevEvent(const std::string& action, const std::string& subsystem, const std::string& devtype,
                             const std::string& name) {
  constexpr std::uint32_t kMagic = 0xfeedcafe;
  constexpr std::uint32_t kUdevGroup = 2;
  struct Header {
    char prefix[8] = "libudev";
    std::uint32_t magic = htonl(kMagic);
    std::uint32_t headerSize = sizeof(Header);
    std::uint32_t propertiesOffset = sizeof(Header);
    std::uint32_t propertiesLength = 0;
    std::uint32_t subsystemHash = 0;
    std::uint32_t devtypeHash = 0;
    std::uint32_t tagBloomHigh = 0;
    std::uint32_t tagBloomLow = 0;
  } header;
  std::string properties;
  for (const std::string& property : {"ACTION=" + action, "DEVPATH=/devices/virtual/" + subsystem + "/" + name,
                                      "SUBSYSTEM=" + subsystem, "DEVNAME=/dev/" + name, std::string("SEQNUM=1")}) {
    properties += property + '\0';
  }
  if (!devtype.empty()) properties += "DEVTYPE=" + devtype + '\0';
  header.propertiesLength = static_cast<std::uint32_t>(properties.size());
  header.subsystemHash = htonl(UdevHash(subsystem));
  header.devtypeHash = devtype.empty() ? 0 : htonl(UdevHash(devtype));
  std::vector<char> message(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1));
  message.insert(message.end(), properties.begin(), properties.end());

  const int socketFd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (socketFd < 0) return errno;
  sockaddr_nl self{};
  self.nl_family = AF_NETLINK;
  sockaddr_nl group{};
  group.nl_family = AF_NETLINK;
  group.nl_groups = kUdevGroup;
  int error = 0;
  if (bind(socketFd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      sendto(socketFd, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group) < 0) {
    error = errno;
  }
  close(socketFd);
  return error;
}

}  // namespace norvane::test
