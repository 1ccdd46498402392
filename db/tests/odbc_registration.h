// Registers the mdbtools ODBC driver under a chosen name for the tests that
// go through the real driver manager.
#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

namespace dbtest {

// Points the driver manager at a private odbcinst.ini that names the
// mdbtools driver `name` (no driver when empty). The driver manager reads the folder's name once
// per process and caches the file by its time: one folder for the process, and every rewrite gets a
// later modification time.
inline void registerOdbcDriver(const QString& name) {
    static QTemporaryDir sys;
    static int rewrites = 0;
    QFile ini(sys.filePath("odbcinst.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    if (!name.isEmpty())
        ini.write(QStringLiteral("[%1]\nDescription=mdbtools\nDriver=%2\n")
                      .arg(name, MDBTOOLS_ODBC_DRIVER)
                      .toUtf8());
    ini.setFileTime(QDateTime::currentDateTime().addSecs(++rewrites),
                    QFileDevice::FileModificationTime);
    ini.close();
    QFile(sys.filePath("odbc.ini")).open(QIODevice::WriteOnly);
    qputenv("ODBCSYSINI", sys.path().toLocal8Bit());
    qputenv("ODBCINI", sys.filePath("odbc.ini").toLocal8Bit());
}

}  // namespace dbtest
