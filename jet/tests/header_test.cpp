// The header codec: page 0 of every Access fixture decodes, encodes and
// decodes again to the same facts; a password or an encoding key put into
// an encoded page is refused.
#include "format/header.h"

#include <gtest/gtest.h>

#include "fixtures.h"
#include "format/text.h"
#include "io/memory_env.h"

namespace jet {
namespace {

void expectSameFacts(const HeaderInfo& a, const HeaderInfo& b) {
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.codePage, b.codePage);
    EXPECT_EQ(a.sortOrder, b.sortOrder);
    EXPECT_EQ(a.sortVersion, b.sortVersion);
    EXPECT_EQ(a.creationDate, b.creationDate);
}

TEST(Header, AccessMadeHeadersSurviveEncoding) {
    JET_REQUIRE_FIXTURES();
    for (const char* name : {"access/testV1997.mdb", "access/testV2000.mdb", "access/empty2003.mdb",
                             "access/testUnicodeCompV2003.mdb"}) {
        if (!testing::haveFile(name)) continue;
        SCOPED_TRACE(name);
        MemoryFile file(testing::readAll(testing::fixture(name)), name);
        const Format& f = recogniseFormat(file);
        const ByteView page0(file.bytes().data(), f.pageSize, 0);
        const HeaderInfo info = decodeHeader(page0, f, name);
        std::vector<std::uint8_t> fresh(f.pageSize, 0);
        encodeHeader(ByteSpan(fresh.data(), fresh.size()), f, info);
        MemoryFile again(fresh, "fresh");
        again.bytes().resize(3 * f.pageSize);
        EXPECT_EQ(&recogniseFormat(again), &f);
        expectSameFacts(info, decodeHeader(ByteView(fresh.data(), fresh.size(), 0), f, "fresh"));
    }
}

TEST(Header, PasswordAndEncodingAreRefused) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const Format& f = version == 3 ? jet3Format() : jet4Format();
        HeaderInfo info;
        info.version = version;
        info.creationDate = 45000.25;
        std::vector<std::uint8_t> page(f.pageSize, 0);
        encodeHeader(ByteSpan(page.data(), page.size()), f, info);
        expectSameFacts(info.version == 4 ? info : HeaderInfo{3, 1252, 1033, 0, 0},
                        decodeHeader(ByteView(page.data(), page.size(), 0), f, "new"));
        // A byte of the password or of the encoding key, changed under the mask.
        for (std::size_t at : {f.headerPassword, f.headerEncodingKey}) {
            auto changed = page;
            changed[at] ^= 0x01;
            try {
                decodeHeader(ByteView(changed.data(), changed.size(), 0), f, "changed");
                ADD_FAILURE() << "accepted a changed byte at " << at;
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::NotSupported);
            }
        }
    }
}

}  // namespace
}  // namespace jet
