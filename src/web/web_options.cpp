#include "web/web_options.h"

#include "app/line_files.h"
#include "app/sjis_text.h"

#include <QFileInfo>
#include <QHostAddress>
#include <map>

namespace {

// One setting by its name, from the file or the command line; an error text, or empty.
std::string Apply(const std::string& name, const QString& value, WebOptions& options)
{
    bool ok = true;
    if (name == "listen") {
        if (QHostAddress(value).isNull()) return "listen: not an IP address: " + value.toStdString();
        options.Listen = value.toStdString();
    } else if (name == "port") {
        const uint port = value.toUInt(&ok);
        if (!ok || port > 65535) return "port: not a port number: " + value.toStdString();
        options.Port = static_cast<uint16_t>(port);
    } else if (name == "server") {
        options.ServerName = FromQt(value);
    } else if (name == "data") {
        options.DataFolder = FromQt(value);
        if (!options.DataFolder.empty() && options.DataFolder.back() != '/') options.DataFolder += '/';
    } else if (name == "workers") {
        options.Workers = value.toInt(&ok);
        if (!ok || options.Workers < 1 || options.Workers > 64) return "workers: from 1 to 64";
    } else if (name == "sample") {
        options.SampleFile = value.toLocal8Bit().toStdString();
    } else if (name == "teacher-password-file") {
        if (value.isEmpty()) return "teacher-password-file: a file name";
        options.TeacherPasswordFile = value.toLocal8Bit().toStdString();
    } else if (name == "sign-ins-per-minute") {
        options.SignInsPerMinute = value.toInt(&ok);
        if (!ok || options.SignInsPerMinute < 1 || options.SignInsPerMinute > 1000000)
            return "sign-ins-per-minute: from 1 to 1000000";
    } else if (name == "time-scale") {
        options.TimeScale = value.toDouble(&ok);
        if (!ok || options.TimeScale <= 0 || options.TimeScale > 1) return "time-scale: above 0, at most 1";
    } else if (name == "stats") {
        options.StatsFile = value.toStdString();
    } else {
        return "unknown setting: " + name;
    }
    return {};
}

}  // namespace

std::string DefaultTeacherPasswordFile()
{
    const QByteArray credentials = qgetenv("CREDENTIALS_DIRECTORY");
    if (!credentials.isEmpty()) return credentials.toStdString() + "/teacher";
    return "/etc/quizgame/teacher.pass";
}

std::string WebOptions::DatabasePath() const { return ServerName + DataFolder + "GAMES.FDB"; }

std::string WebUsage()
{
    return "usage: quizgame-web [--config FILE] [--listen ADDRESS] [--port PORT] [--server PREFIX] [--data FOLDER] "
           "[--workers N] [--sample FILE] [--teacher-password-file FILE] [--sign-ins-per-minute N]\n"
           "       quizgame-web --hash-password   (a password line on stdin, its hash line on stdout)";
}

std::string ParseWebOptions(const QStringList& arguments, WebOptions& options)
{
    std::map<std::string, QString> given;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith("--") || i + 1 >= arguments.size()) return WebUsage();
        given[argument.mid(2).toStdString()] = arguments[++i];
    }
    if (const auto config = given.find("config"); config != given.end()) {
        const LinesRead read = ReadLines(config->second.toLocal8Bit().toStdString(), 1000);
        if (!QFileInfo::exists(config->second) || !read.Complete) return "cannot read " + config->second.toStdString();
        for (const std::string& line : read.Lines) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (text.isEmpty() || text.startsWith('#')) continue;
            const qsizetype equals = text.indexOf('=');
            if (equals < 0) return "not a setting: " + line;
            const std::string error = Apply(text.left(equals).trimmed().toStdString(), text.mid(equals + 1).trimmed(), options);
            if (!error.empty()) return config->second.toStdString() + ": " + error;
        }
        given.erase(config);
    }
    for (const auto& [name, value] : given)
        if (const std::string error = Apply(name, value, options); !error.empty()) return error;
    return {};
}
