// The item list's statements, as the lines of the list's SQL: the list as it
// opens, and the list filtered by the text typed in the search box. Pure
// functions, so tests call them directly; the store model opens the list with
// the first, the search box's handler re-reads it with the second.
#pragma once

#include <QString>
#include <QStringList>

namespace browse {

// One line: "select referencia,descripcion,[Tipo Impuesto] from articulos
// order by descripcion".
QStringList listStatement();

// Two lines, the list whose description contains text anywhere, in
// description order: "select referencia,descripcion,[Tipo Impuesto] from
// articulos where descripcion like('%<text>%') " and " order by descripcion".
// Each quote of text is doubled so that none ends the pattern; % and _ keep
// their meaning as pattern characters, as the user may type them on purpose.
QStringList searchStatement(const QString& text);

}  // namespace browse
