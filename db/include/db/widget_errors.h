// Where the data-aware widgets send the errors they cannot throw.
//
// The bound widgets react to Qt's own events and signals (a key, a click, a
// leave); an error raised there must not unwind through Qt's frames. They
// catch precios::Error and hand it to one sink, which the window points at
// its error report. Without a sink the error goes to qWarning.
//
// GUI thread only; the sink is process-wide.
#pragma once

#include <functional>

#include "precios/error.h"

namespace db {

using WidgetErrorSink = std::function<void(const precios::Error&)>;

// Installs sink and returns the previous one; an empty sink restores qWarning.
WidgetErrorSink setWidgetErrorSink(WidgetErrorSink sink);
void reportWidgetError(const precios::Error& error);

// Runs action, reporting a precios::Error instead of letting it escape.
// Returns whether the action ran to its end.
template <class Action>
bool guardWidgetAction(Action&& action) {
    try {
        action();
        return true;
    } catch (const precios::Error& error) {
        reportWidgetError(error);
        return false;
    }
}

}  // namespace db
