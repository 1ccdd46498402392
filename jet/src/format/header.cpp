#include "format/header.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "format/text.h"

namespace jet {

namespace {

[[noreturn]] void refuse(const std::string& file, const std::string& why,
                         ErrorKind kind = ErrorKind::NotSupported) {
    throw Error("Cannot open '" + file + "': " + why, kind);
}

constexpr std::size_t kCommitSlots = 256;
constexpr std::uint16_t kIdleCommitSlot = 0x0100;

// The start of the masked region as Access writes it, in clear.
constexpr std::uint8_t kMaskedStart[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                         0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                         0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};

// Values Access writes into the (clear) header whose meaning is not known.
struct Stamp {
    std::size_t at;
    std::size_t width;
    std::uint32_t value;
};
// Jet 4's last one is the text "4.0".
constexpr Stamp kJet4Stamps[] = {{0x6A, 4, 0x21AA}, {0x98, 4, 0x0654}, {0x9C, 4, 0x00302E34}};
constexpr Stamp kJet3Stamps[] = {{0x56, 2, 0x251E}};

// Jet 4 masks the password with the creation date's whole part, repeated.
std::uint32_t dateMask(double date) {
    if (std::isfinite(date) && date > -2147483648.0 && date < 2147483648.0)
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(date));
    return 0;
}

}  // namespace

const Format& recogniseFormat(File& file) {
    const std::string& name = file.name();
    const std::uint64_t size = file.size();
    if (size < 0x20) refuse(name, "the file is not an Access database");
    std::uint8_t head[0x20];
    file.read(0, head, sizeof head);
    if (head[0] != 0 || head[1] != 1 || head[2] != 0 || head[3] != 0)
        refuse(name, "the file is not an Access database");
    std::string engine(reinterpret_cast<const char*>(head + kHeaderEngineOffset), 16);
    engine = engine.substr(0, engine.find('\0'));
    const std::uint8_t version = head[kHeaderVersionOffset];
    if (engine == "Standard ACE DB" || (engine == kJetEngineName && version >= 2 && version <= 6))
        refuse(name, "Access 2007 and later (.accdb) files are not supported");
    if (engine == "MSISAM Database")
        refuse(name, "Microsoft Works and Money (MSISAM) databases are not supported");
    if (engine != kJetEngineName) refuse(name, "the file is not an Access database");
    if (version > 1) refuse(name, "unknown Access file format version " + std::to_string(version));
    const Format& format = version == 0 ? jet3Format() : jet4Format();
    if (size < 3 * format.pageSize)
        refuse(name, "the file is truncated (shorter than three pages)", ErrorKind::Corrupt);
    return format;
}

HeaderInfo decodeHeader(ByteView raw, const Format& f, const std::string& name) {
    std::vector<std::uint8_t> page(raw.data(), raw.data() + raw.size());
    rc4(kHeaderMaskKey, sizeof kHeaderMaskKey, page.data() + f.headerMaskedStart,
        f.headerMaskedLength);
    ByteView h(page.data(), page.size(), 0);

    HeaderInfo info;
    info.version = f.version;
    info.codePage = h.u16(f.headerCodePage);
    info.sortOrder = h.u16(f.headerSortOrder);
    if (h.u32(f.headerEncodingKey) != 0)
        refuse(name, "the database is encoded (encrypted); decode it in Access first");

    std::vector<std::uint8_t> password(h.data() + f.headerPassword,
                                       h.data() + f.headerPassword + f.headerPasswordLength);
    if (f.version >= 4) {
        info.sortVersion = h.u8(f.headerSortOrder + 3);
        info.creationDate = h.f64(f.headerCreationDate);
        const std::uint32_t mask = dateMask(info.creationDate);
        for (std::size_t i = 0; i < password.size(); ++i)
            password[i] ^= static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
    }
    if (std::any_of(password.begin(), password.end(), [](std::uint8_t b) { return b != 0; }))
        refuse(name, "the database is password-protected; remove the password in Access first");
    return info;
}

void encodeHeader(ByteSpan p, const Format& f, const HeaderInfo& info) {
    p.u8(0, kPageHeader);
    p.u8(1, 0x01);
    std::memcpy(p.data() + kHeaderEngineOffset, kJetEngineName, sizeof kJetEngineName);
    p.u32(kHeaderVersionOffset, f.version >= 4 ? 1 : 0);
    std::memcpy(p.data() + f.headerMaskedStart, kMaskedStart, sizeof kMaskedStart);
    p.u16(f.headerCodePage, std::uint16_t(info.codePage));
    p.u32(f.headerEncodingKey, 0);
    p.u16(f.headerSortOrder, std::uint16_t(info.sortOrder));
    if (f.version >= 4) {
        if (info.sortVersion) p.u8(f.headerSortOrder + 3, std::uint8_t(info.sortVersion));
        // No password: the password area holds its mask alone.
        const std::uint32_t mask = dateMask(info.creationDate);
        for (std::size_t i = 0; i < f.headerPasswordLength; i += 4)
            p.u32(f.headerPassword + i, mask);
        p.f64(f.headerCreationDate, info.creationDate);
    }
    const std::span<const Stamp> stamps =
        f.version >= 4 ? std::span<const Stamp>(kJet4Stamps) : std::span<const Stamp>(kJet3Stamps);
    for (const Stamp& s : stamps) p.writeLE(s.at, s.width, s.value);
    rc4(kHeaderMaskKey, sizeof kHeaderMaskKey, p.data() + f.headerMaskedStart,
        f.headerMaskedLength);
    const std::size_t slots = f.pageSize - 2 * kCommitSlots;
    for (std::size_t slot = 0; slot < kCommitSlots; ++slot)
        p.u16(slots + 2 * slot, kIdleCommitSlot);
}

}  // namespace jet
