// A prompter for tests and benchmarks: the boxes are recorded instead of
// shown, and the file dialog answers from a list of paths (cancelling once
// the list is used up), so nothing ever waits for a person.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "application.h"

namespace testing_support {

class QuietPrompter : public precios::Prompter {
  public:
    QuietPrompter() = default;
    // The file dialog answers file every time it is asked.
    explicit QuietPrompter(QString file) : file_(std::move(file)) {}

    void message(QWidget*, const QString&, const QString& text) override { messages.append(text); }
    void errorReport(QWidget*, const QString&, const QString& text) override {
        reports.append(text);
    }
    std::optional<QString> chooseFile(QWidget*, const QString&) override {
        ++filesChosen;
        if (file_.isEmpty()) return std::nullopt;
        return file_;
    }
    void clear() {
        messages.clear();
        reports.clear();
    }

    QStringList messages;  // texts of the message boxes, in order
    QStringList reports;   // texts of the error reports, in order
    int filesChosen = 0;   // times the file dialog was asked

  private:
    QString file_;
};

}  // namespace testing_support
