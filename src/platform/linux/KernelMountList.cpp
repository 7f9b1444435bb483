#include "platform/linux/KernelMountList.h"

#include "system/FileNames.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace fwb {

namespace {

// The system's headers may predate these calls, so their numbers and records are spelled out
// here as the kernel defines them; they are the same on every architecture.
constexpr long SysStatmount = 457;
constexpr long SysListmount = 458;
constexpr std::uint64_t ListFromRoot = ~std::uint64_t(0); // LSMT_ROOT

constexpr std::uint64_t SbBasic = 0x1;    // STATMOUNT_SB_BASIC
constexpr std::uint64_t MntBasic = 0x2;   // STATMOUNT_MNT_BASIC
constexpr std::uint64_t MntRoot = 0x8;    // STATMOUNT_MNT_ROOT
constexpr std::uint64_t MntPoint = 0x10;  // STATMOUNT_MNT_POINT
constexpr std::uint64_t FsType = 0x20;    // STATMOUNT_FS_TYPE
constexpr std::uint64_t SbSource = 0x200; // STATMOUNT_SB_SOURCE, Linux 6.14 and later
constexpr std::uint64_t Needed = SbBasic | MntBasic | MntRoot | MntPoint | FsType;

struct MountIdRequest // struct mnt_id_req, first version
{
    std::uint32_t size = sizeof(MountIdRequest);
    std::uint32_t spare = 0;
    std::uint64_t mountId = 0;
    std::uint64_t param = 0;
};
static_assert(sizeof(MountIdRequest) == 24);

// The fixed part of struct statmount that is read here; the strings follow at StringsAt.
struct StatMount
{
    std::uint32_t size;
    std::uint32_t mountOptions;
    std::uint64_t mask;
    std::uint32_t devMajor;
    std::uint32_t devMinor;
    std::uint64_t superMagic;
    std::uint32_t superFlags;
    std::uint32_t fsType;
    std::uint64_t uniqueId;
    std::uint64_t parentUniqueId;
    std::uint32_t mountId;
    std::uint32_t parentId;
    std::uint64_t attributes;
    std::uint64_t propagation;
    std::uint64_t peerGroup;
    std::uint64_t master;
    std::uint64_t propagateFrom;
    std::uint32_t mountRoot;
    std::uint32_t mountPoint;
    std::uint64_t namespaceId;
    std::uint32_t fsSubtype;
    std::uint32_t source;
};
static_assert(offsetof(StatMount, uniqueId) == 40 && offsetof(StatMount, mountId) == 56 &&
              offsetof(StatMount, mountPoint) == 108 && offsetof(StatMount, source) == 124);
constexpr std::size_t StringsAt = 512;

enum class Support { Unknown, Yes, No };
std::atomic<Support> support{Support::Unknown};

// Every unique id, in increasing order, which is the order the mounts were made in.
std::optional<std::vector<std::uint64_t>> listIds()
{
    std::vector<std::uint64_t> ids;
    MountIdRequest request;
    request.mountId = ListFromRoot;
    std::uint64_t batch[256];
    for (;;) {
        const long count = ::syscall(SysListmount, &request, batch, std::size(batch), 0);
        if (count < 0)
            return std::nullopt;
        ids.insert(ids.end(), batch, batch + count);
        if (std::size_t(count) < std::size(batch))
            return ids;
        request.param = ids.back();
    }
}

QString stringAt(const std::vector<char> &buffer, std::uint32_t offset)
{
    const std::size_t at = StringsAt + offset;
    if (at >= buffer.size())
        return {};
    return DecodeFileName(QByteArray(buffer.data() + at,
                                     qsizetype(::strnlen(buffer.data() + at, buffer.size() - at))));
}

// One mount, read in a single call so its fields belong together. Nothing when it has gone
// since it was listed.
std::optional<MountEntry> statMount(std::uint64_t uniqueId, std::vector<char> &buffer)
{
    MountIdRequest request;
    request.mountId = uniqueId;
    request.param = Needed | SbSource;
    for (;;) {
        if (::syscall(SysStatmount, &request, buffer.data(), buffer.size(), 0) == 0)
            break;
        // Mount points can be as long as a path can; the buffer grows to fit them.
        if (errno != EOVERFLOW || buffer.size() > (1u << 20))
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    StatMount fixed;
    std::memcpy(&fixed, buffer.data(), sizeof fixed);
    if ((fixed.mask & Needed) != Needed)
        return std::nullopt;
    MountEntry entry;
    entry.uniqueId = fixed.uniqueId;
    entry.mountId = int(fixed.mountId);
    entry.parentId = int(fixed.parentId);
    entry.device = DeviceNumber{fixed.devMajor, fixed.devMinor};
    entry.root = stringAt(buffer, fixed.mountRoot);
    entry.mountPoint = stringAt(buffer, fixed.mountPoint);
    entry.fsType = stringAt(buffer, fixed.fsType);
    if (fixed.mask & SbSource)
        entry.source = stringAt(buffer, fixed.source);
    return entry;
}

} // namespace

std::optional<MountTable> listKernelMounts()
{
    if (support.load() == Support::No)
        return std::nullopt;
    const auto ids = listIds();
    if (!ids) {
        // Seen once, an unknown call stays unknown; any other failure may pass.
        if (errno == ENOSYS || errno == EINVAL)
            support.store(Support::No);
        return std::nullopt;
    }
    support.store(Support::Yes);
    QList<MountEntry> entries;
    entries.reserve(qsizetype(ids->size()));
    std::vector<char> buffer(StringsAt + 4096);
    for (const std::uint64_t id : *ids) {
        if (auto entry = statMount(id, buffer))
            entries.append(std::move(*entry));
    }
    if (entries.isEmpty())
        return std::nullopt;
    return MountTable(std::move(entries));
}

bool kernelHasUniqueMountIds()
{
    if (support.load() == Support::Unknown)
        listKernelMounts();
    return support.load() == Support::Yes;
}

} // namespace fwb
