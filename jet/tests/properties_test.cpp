#include "format/properties.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(Properties, BlobsReadBackInBothVersions) {
    for (const Format* f : {&jet3Format(), &jet4Format()}) {
        PropertyBlob blob(*f);
        blob.addText(u"", u"Description", u"Lista de artículos", false);
        blob.add(u"Codigo", u"Required", ColumnType::Boolean, {1}, true);
        blob.addText(u"Codigo", u"Caption", u"Código", false);
        blob.add(u"Nombre", u"Required", ColumnType::Boolean, {0}, true);
        const Bytes bytes = blob.bytes();
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 3),
                  f->version == 4 ? "MR2" : "KKD");

        const ObjectProperties read =
            parseProperties(ByteView(bytes.data(), bytes.size()), *f, 1252);
        const PropertyValue* description = findProperty(read.object, u"description");
        ASSERT_NE(description, nullptr);
        EXPECT_EQ(description->data, encodeNameText(*f, u"Lista de artículos"));
        ASSERT_EQ(read.columns.size(), 2u);
        const PropertyMap& codigo = read.columns.begin()->second;
        ASSERT_NE(findProperty(codigo, u"Required"), nullptr);
        EXPECT_TRUE(findProperty(codigo, u"Required")->asBool());
        EXPECT_EQ(findProperty(codigo, u"Caption")->data, encodeNameText(*f, u"Código"));
        EXPECT_FALSE(findProperty(std::next(read.columns.begin())->second, u"Required")->asBool());

        // Every cut of the blob is either read or refused as damage.
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            try {
                parseProperties(ByteView(bytes.data(), n), *f, 1252);
            } catch (const Error& e) {
                EXPECT_EQ(e.kind(), ErrorKind::Corrupt) << "cut at " << n;
            }
        }
    }
}

}  // namespace
}  // namespace jet
