// Draws the application icon and writes it in every form the build needs:
//   <out>/hicolor/<n>x<n>/apps/precios.png  for n = 16 24 32 48 64 256
//   <out>/precios.ico  (16..64 px at 256 colours and at 32-bit, 256 px PNG)
// The artwork is a wall of bricks with a price tag in front of it, drawn
// with shapes only so the result does not depend on installed fonts.
//
// Usage: precios_make_icon <output folder>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBmpSizes[] = {16, 24, 32, 48, 64};

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Rounded backdrop.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x79));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // Three courses of bricks along the bottom, mortar in between.
    p.setBrush(QColor(0xd9, 0xd4, 0xc7));
    p.drawRect(QRectF(6, 36, 52, 22));
    p.setBrush(QColor(0xb5, 0x4a, 0x2a));
    for (int row = 0; row < 3; ++row) {
        const double y = 37 + row * 7;
        const double offset = (row % 2 == 0) ? 0 : -8;
        for (double x = 7 + offset; x < 58; x += 16) {
            const double left = std::max(7.0, x);
            const double right = std::min(57.0, x + 15);
            if (right > left) p.drawRect(QRectF(left, y, right - left, 6));
        }
    }

    // The price tag, tilted, with its hole and string.
    p.save();
    p.translate(32, 28);
    p.rotate(-20);
    QPainterPath tag;
    tag.moveTo(-20, -10);
    tag.lineTo(10, -10);
    tag.lineTo(22, 0);
    tag.lineTo(10, 10);
    tag.lineTo(-20, 10);
    tag.closeSubpath();
    p.setPen(QPen(QColor(0x7a, 0x5a, 0x00), 1.5));
    p.setBrush(QColor(0xff, 0xc8, 0x2e));
    p.drawPath(tag);
    p.setBrush(QColor(0x1f, 0x4e, 0x79));
    p.drawEllipse(QPointF(12, 0), 2.6, 2.6);
    // Two bars for figures on the tag.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7a, 0x5a, 0x00));
    p.drawRect(QRectF(-15, -5, 20, 3));
    p.drawRect(QRectF(-15, 2, 13, 3));
    p.restore();
    p.end();
    return image;
}

void put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xff));
}

int rowBytes(int bits, int width) { return ((bits * width + 31) / 32) * 4; }

// The AND mask of an icon image: 1 where the pixel is transparent.
void appendMask(QByteArray& out, const QImage& argb) {
    const int stride = rowBytes(1, argb.width());
    for (int y = argb.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) < 128) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
}

QByteArray bitmapHeader(int size, int bits, int imageBytes) {
    QByteArray out;
    put32(out, 40);
    put32(out, quint32(size));
    put32(out, quint32(size * 2));  // colour rows plus mask rows
    put16(out, 1);
    put16(out, quint16(bits));
    put32(out, 0);
    put32(out, quint32(imageBytes));
    put32(out, 0);
    put32(out, 0);
    put32(out, bits == 8 ? 256 : 0);
    put32(out, 0);
    return out;
}

QByteArray bitmap32(const QImage& argb) {
    const int size = argb.width();
    QByteArray pixels;
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const QRgb c = argb.pixel(x, y);
            pixels.append(char(qBlue(c)));
            pixels.append(char(qGreen(c)));
            pixels.append(char(qRed(c)));
            pixels.append(char(qAlpha(c)));
        }
    }
    QByteArray mask;
    appendMask(mask, argb);
    return bitmapHeader(size, 32, int(pixels.size() + mask.size())) + pixels + mask;
}

QByteArray bitmap8(const QImage& argb) {
    const int size = argb.width();
    // Transparent pixels become black so that the mask shows the background
    // through them; the rest lose their partial transparency.
    QImage opaque(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb c = argb.pixel(x, y);
            opaque.setPixel(x, y, qAlpha(c) < 128 ? qRgb(0, 0, 0) : (c | 0xff000000u));
        }
    }
    const QImage indexed =
        opaque.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    QByteArray palette;
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        palette.append(char(qBlue(c)));
        palette.append(char(qGreen(c)));
        palette.append(char(qRed(c)));
        palette.append('\0');
    }
    const int stride = rowBytes(8, size);
    QByteArray pixels;
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) row[x] = char(indexed.pixelIndex(x, y));
        pixels.append(row);
    }
    QByteArray mask;
    appendMask(mask, argb);
    return bitmapHeader(size, 8, int(pixels.size() + mask.size())) + palette + pixels + mask;
}

QByteArray png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct IconImage {
    int size;
    int bits;
    QByteArray data;
};

QByteArray iconFile(const std::vector<IconImage>& images) {
    QByteArray out;
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, quint16(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (const IconImage& image : images) {
        out.append(char(image.size >= 256 ? 0 : image.size));
        out.append(char(image.size >= 256 ? 0 : image.size));
        out.append('\0');  // colour count: 0 for 256 colours and more
        out.append('\0');
        put16(out, 1);
        put16(out, quint16(image.bits));
        put32(out, quint32(image.data.size()));
        put32(out, offset);
        offset += quint32(image.data.size());
    }
    for (const IconImage& image : images) out.append(image.data);
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    std::vector<IconImage> images;
    for (int size : kBmpSizes) images.push_back({size, 8, bitmap8(drawIcon(size))});
    for (int size : kBmpSizes) images.push_back({size, 32, bitmap32(drawIcon(size))});
    images.push_back({256, 32, png(drawIcon(256))});

    bool ok = writeFile(out + QStringLiteral("/precios.ico"), iconFile(images));
    for (int size : {16, 24, 32, 48, 64, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        ok = ok && QDir().mkpath(dir) &&
             writeFile(dir + QStringLiteral("/precios.png"), png(drawIcon(size)));
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the icons into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
