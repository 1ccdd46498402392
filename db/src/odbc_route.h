// The ODBC route: statements through the ODBC driver manager and a Microsoft
// Access driver chosen by name. Private to db/; tests include it to see the
// connect string that was used.
#pragma once

#include "db/db.h"

namespace db {

class OdbcRoute : public Route {
  public:
    explicit OdbcRoute(QString driver);
    ~OdbcRoute() override;
    QString kind() const override { return QStringLiteral("ODBC"); }
    void open(const QString& file) override;
    void close() noexcept override;
    std::unique_ptr<Cursor> query(const QString& sql, const QVariantList& params) override;
    qint64 execute(const QString& sql, const QVariantList& params) override;

    const QString& driver() const { return driver_; }
    // The connect string of the last open().
    const QString& connectString() const { return connectString_; }

  private:
    QString driver_;
    QString connectString_;
    void* env_ = nullptr;
    void* dbc_ = nullptr;
};

}  // namespace db
