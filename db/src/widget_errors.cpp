// The process-wide sink of errors raised inside data-aware widgets.
#include "db/widget_errors.h"

#include <QtGlobal>

namespace db {

namespace {
WidgetErrorSink& sink() {
    static WidgetErrorSink s;
    return s;
}
}  // namespace

WidgetErrorSink setWidgetErrorSink(WidgetErrorSink next) {
    WidgetErrorSink previous = std::move(sink());
    sink() = std::move(next);
    return previous;
}

void reportWidgetError(const precios::Error& error) {
    if (sink()) {
        sink()(error);
        return;
    }
    qWarning("%s", error.what());
}

}  // namespace db
