// Typing "CEMENTO" into the search box of an offscreen window on a copy of
// the 100,000-item store: for each keystroke, the time from the key until
// the grid's first screen, the item record, both combos and the price boxes
// are up to date (everything the keystroke does runs synchronously; posted
// events are drained too). Prints min / median / max per keystroke over a
// number of rounds.
//
// Usage: bench_search_keystrokes [rounds] [store.mdb]
//
// Without a store it writes its own 100,000-item store (the engine's store
// builder, as `mkstore big`) in a temporary folder. The boxes go to the same
// quiet prompter the window tests use, so the window's first showing never
// waits for a real file dialog: the run always finishes, offscreen too.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "store_content.h"
#include "store_window_fixture.h"

namespace {

// The first screen of the grid, the record and the combos show the list's
// first row.
bool upToDate(TForm1& form) {
    auto* model = form.DBGrid1->gridModel();
    db::Dataset& list = form.model.qarticulos;
    const bool screenFull =
        model->rowCount() >= form.DBGrid1->visibleRowCount() || !list.canFetchMore();
    if (!screenFull) return false;
    if (model->rowCount() == 0) return form.DBEdit4->text().isEmpty();
    const QString ref = model->data(model->index(0, 0)).toString();
    if (form.DBEdit4->text() != ref) return false;
    const db::Field& tax = form.model.ARTICULOS.field(QStringLiteral("Tipo Impuesto"));
    if (!tax.isNull() && form.DBLookupComboBox1->currentIndex() >= 0 &&
        form.DBLookupComboBox1->currentData().toInt() != tax.asInt())
        return false;
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    precios::Application app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("store-big.mdb"));
    if (!dir.isValid()) return 2;
    if (argc > 2) {
        const QString source = QString::fromLocal8Bit(argv[2]);
        if (!QFile::copy(source, path)) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
            return 2;
        }
    } else {
        QElapsedTimer building;
        building.start();
        try {
            jet::store::writeStore(path.toStdString(), jet::store::bigOptions(100000, 200000));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "cannot write the store: %s\n", e.what());
            return 2;
        }
        std::printf("store written: %.1f s\n", building.nsecsElapsed() / 1e9);
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    // Every box, the file dialog of the first showing included, is answered
    // quietly; errors are still printed.
    testing_support::QuietPrompter prompter;
    precios::setPrompter(&prompter);

    TForm1 form;
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    store::SelectionSeams seams;
    seams.chooseFile = [&](const QString&) { return std::optional<QString>(path); };
    seams.showMessage = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    QElapsedTimer opening;
    opening.start();
    if (store::runSelection(form.model, store::kFormShowPrefix, seams) !=
        store::SelectionResult::Opened) {
        for (const QString& r : prompter.reports) std::fprintf(stderr, "%s\n", qPrintable(r));
        return 1;
    }
    std::printf("connect and open: %.1f ms\n", opening.nsecsElapsed() / 1e6);

    const QString word = QStringLiteral("CEMENTO");
    std::vector<std::vector<double>> times(size_t(word.size()));
    std::vector<int> firstScreen(size_t(word.size()));
    for (int round = 0; round < rounds; ++round) {
        form.ebuscar->clear();  // a search of its own, not timed
        QCoreApplication::processEvents();
        form.ebuscar->setFocus(Qt::OtherFocusReason);
        for (qsizetype i = 0; i < word.size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            QTest::keyClick(form.ebuscar, word[i].toLatin1());
            QCoreApplication::processEvents();
            while (!upToDate(form)) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            times[size_t(i)].push_back(double(timer.nsecsElapsed()) / 1e6);
            firstScreen[size_t(i)] = form.DBGrid1->gridModel()->rowCount();
        }
    }
    std::printf("typing %s into ebuscar, %d rounds (ms per keystroke)\n", qPrintable(word), rounds);
    std::printf("%-10s %8s %8s %8s %10s\n", "text", "min", "median", "max", "rows read");
    std::vector<double> medians;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const auto& t = times[size_t(i)];
        medians.push_back(median(t));
        std::printf("%-10s %8.1f %8.1f %8.1f %10d\n", qPrintable(word.left(i + 1)),
                    *std::min_element(t.begin(), t.end()), medians.back(),
                    *std::max_element(t.begin(), t.end()), firstScreen[size_t(i)]);
    }
    std::printf("median of the keystroke medians: %.1f ms (target <= 30)\n", median(medians));
    for (const QString& r : prompter.reports)
        std::fprintf(stderr, "error report: %s\n", qPrintable(r));
    precios::setPrompter(nullptr);
    return prompter.reports.isEmpty() ? 0 : 1;
}
