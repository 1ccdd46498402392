// The generated application icon: the .ico holds the eleven images Windows
// expects, and the hicolor PNGs have their sizes.
#include <QFile>
#include <QImage>
#include <QTest>

namespace {

const QString kIconDir = QStringLiteral(PRECIOS_ICON_DIR);

// Little-endian fields of the icon file; at() keeps the reads in range.
quint32 byteAt(const QByteArray& b, qsizetype at) { return uchar(b.at(at)); }
quint16 u16(const QByteArray& b, qsizetype at) {
    return quint16(byteAt(b, at) | byteAt(b, at + 1) << 8);
}
quint32 u32(const QByteArray& b, qsizetype at) {
    return u16(b, at) | quint32(u16(b, at + 2)) << 16;
}

int stride(int bits, int width) { return ((bits * width + 31) / 32) * 4; }

}  // namespace

class IconTest : public QObject {
    Q_OBJECT

  private slots:
    void icoHoldsElevenImages() {
        QFile file(kIconDir + QStringLiteral("/precios.ico"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ico = file.readAll();
        QVERIFY(ico.size() > 6 + 11 * 16);
        QCOMPARE(u16(ico, 0), quint16(0));
        QCOMPARE(u16(ico, 2), quint16(1));
        QCOMPARE(u16(ico, 4), quint16(11));

        const int sizes[] = {16, 24, 32, 48, 64, 16, 24, 32, 48, 64, 256};
        const int bits[] = {8, 8, 8, 8, 8, 32, 32, 32, 32, 32, 32};
        qsizetype expectedOffset = 6 + 11 * 16;
        for (int i = 0; i < 11; ++i) {
            const qsizetype entry = 6 + 16 * i;
            const int size = sizes[i];
            QCOMPARE(int(uchar(ico[entry])), size == 256 ? 0 : size);
            QCOMPARE(int(uchar(ico[entry + 1])), size == 256 ? 0 : size);
            QCOMPARE(u16(ico, entry + 6), quint16(bits[i]));
            const quint32 length = u32(ico, entry + 8);
            const quint32 offset = u32(ico, entry + 12);
            QCOMPARE(qsizetype(offset), expectedOffset);
            QVERIFY(qsizetype(offset) + qsizetype(length) <= ico.size());
            expectedOffset += length;
            const QByteArray image = ico.mid(offset, length);

            if (size == 256) {
                QVERIFY(image.startsWith("\x89PNG\r\n\x1a\n"));
                const QImage png = QImage::fromData(image, "PNG");
                QCOMPARE(png.size(), QSize(256, 256));
                QVERIFY(png.hasAlphaChannel());
                continue;
            }
            // A bitmap: header, palette for 8 bits, colour rows, then the mask.
            QCOMPARE(u32(image, 0), quint32(40));
            QCOMPARE(int(u32(image, 4)), size);
            QCOMPARE(int(u32(image, 8)), 2 * size);
            QCOMPARE(int(u16(image, 14)), bits[i]);
            const int palette = bits[i] == 8 ? 256 * 4 : 0;
            const int colour = stride(bits[i], size) * size;
            const int mask = stride(1, size) * size;
            QCOMPARE(int(image.size()), 40 + palette + colour + mask);
            // The rounded corners are transparent: the bottom-left pixel is
            // the first bit of the mask (rows are stored bottom-up).
            QVERIFY(uchar(image[40 + palette + colour]) & 0x80);
            // The centre is opaque.
            const int centreRow = size / 2;
            const qsizetype centreByte =
                40 + palette + colour + centreRow * stride(1, size) + size / 16;
            QVERIFY(!(uchar(image[centreByte]) & (0x80 >> ((size / 2) % 8))));
        }
        QCOMPARE(expectedOffset, ico.size());
    }

    void hicolorPngs() {
        for (int size : {16, 24, 32, 48, 64, 256}) {
            const QImage png(
                QStringLiteral("%1/hicolor/%2x%2/apps/precios.png").arg(kIconDir).arg(size));
            QCOMPARE(png.size(), QSize(size, size));
            QCOMPARE(qAlpha(png.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(png.pixel(size / 2, size / 2)), 255);
        }
    }
};

QTEST_GUILESS_MAIN(IconTest)

#include "icon_test.moc"
