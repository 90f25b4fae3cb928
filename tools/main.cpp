// zentar-simrecorder: a simulated house recorder on one address, for trying
// the tool without real recorders. A person can point any FTP client or web
// browser at it too.
#include "tools/SimRecorder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may only write to a pipe; the event loop does the quitting.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zentar-simrecorder"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A simulated house recorder: FTP on port 21 and "
                                                    "\"/cgi-bin/execute\" over HTTP on port 80."));
    parser.addHelpOption();
    const QCommandLineOption address({QStringLiteral("a"), QStringLiteral("address")},
                                     QStringLiteral("Address to listen on."), QStringLiteral("ip"),
                                     QStringLiteral("127.0.0.1"));
    const QCommandLineOption root({QStringLiteral("r"), QStringLiteral("root")},
                                  QStringLiteral("Folder that stands for the recorder's file system."),
                                  QStringLiteral("dir"));
    const QCommandLineOption ftpPort(QStringLiteral("ftp-port"), QStringLiteral("FTP port."), QStringLiteral("port"),
                                     QStringLiteral("21"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"), QStringLiteral("HTTP port."),
                                      QStringLiteral("port"), QStringLiteral("80"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("FTP user name."), QStringLiteral("name"),
                                  QStringLiteral("root"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("FTP password."),
                                      QStringLiteral("text"), QString());
    const QCommandLineOption refuseLogin(QStringLiteral("refuse-login"), QStringLiteral("Refuse every login."));
    const QCommandLineOption sample(QStringLiteral("sample"),
                                    QStringLiteral("Write sample poll tables: healthy or faulty."),
                                    QStringLiteral("kind"));
    parser.addOptions({address, root, ftpPort, httpPort, user, password, refuseLogin, sample});
    parser.process(app);

    QTextStream err(stderr);
    if (!parser.isSet(root)) {
        err << "zentar-simrecorder: --root is required" << Qt::endl;
        return 2;
    }
    SimRecorder recorder;
    recorder.ftp().setCredentials(parser.value(user), parser.value(password));
    recorder.ftp().refuseLogin(parser.isSet(refuseLogin));
    const QHostAddress host(parser.value(address));
    if (!recorder.start(host, parser.value(root), quint16(parser.value(ftpPort).toUShort()),
                        quint16(parser.value(httpPort).toUShort()))) {
        err << "zentar-simrecorder: cannot listen on " << parser.value(address) << Qt::endl;
        return 1;
    }
    if (parser.isSet(sample))
        recorder.writeSampleTables(parser.value(sample) == QLatin1String("faulty"));
    QObject::connect(&recorder.http(), &SimHttpServer::requestReceived, &app,
                     [&err](const QString &path) { err << "HTTP GET " << path << Qt::endl; });
    err << "zentar-simrecorder: serving " << recorder.rootDir() << " on " << parser.value(address) << Qt::endl;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    return app.exec();
}
