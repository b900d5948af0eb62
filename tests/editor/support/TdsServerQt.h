#pragma once
// The TDS test server fixture (tests/tds/TdsServer.h) in the Qt tests' terms:
// database names, connection strings and records as Qt strings.

#include <QList>
#include <QString>
#include <QStringList>

#include "tests/tds/TdsServer.h"

namespace znx::editor::test {

// One thing the server received.
struct Received {
    QString kind, db, text;
};

class TdsServer {
public:
    explicit TdsServer(const QStringList& databases) : FServer(Config(databases)) {}
    int Port() const { return FServer.Port(); }
    QString AdoString() const { return QString::fromStdString(FServer.AdoString()); }
    bool AllClosed() const { return FServer.AllClosed(); }
    QList<Received> Records() const {
        QList<Received> out;
        for (const auto& r : FServer.Records())
            out << Received{QString::fromStdString(r.kind), QString::fromStdString(r.db),
                            QString::fromStdString(r.text)};
        return out;
    }

private:
    static ::znx::test::TTdsConfig Config(const QStringList& databases) {
        ::znx::test::TTdsConfig config;
        config.databases.clear();
        for (const QString& d : databases) config.databases.push_back(d.toStdString());
        return config;
    }
    ::znx::test::TTdsServer FServer;
};

// A connection string to a port of 127.0.0.1 on which nothing listens.
inline QString RefusedString() {
    return QString("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;Password=secret")
        .arg(::znx::test::RefusedPort());
}

} // namespace znx::editor::test
