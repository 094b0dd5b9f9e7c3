// orlo-demo-game: stands in for the game in the demo. Shows the command line Orlo started it
// with, then exits after a few seconds (ORLO_DEMO_GAME_SECONDS, default 8). With
// ORLO_DEMO_GAME_RECORD set it also writes its arguments and working folder there as JSON.
#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

namespace {
void Record(const QString &path, const QStringList &arguments)
{
    QJsonObject record;
    record.insert(QStringLiteral("arguments"), QJsonArray::fromStringList(arguments));
    record.insert(QStringLiteral("workingDirectory"), QDir::currentPath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(record).toJson());
        file.commit();
    }
}

QString Quoted(const QString &argument)
{
    return argument.contains(QLatin1Char(' ')) || argument.isEmpty() ? QLatin1Char('"') + argument + QLatin1Char('"')
                                                                     : argument;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orlo-demo-game"));
    const QStringList arguments = QApplication::arguments().mid(1);
    const QString recordPath = qEnvironmentVariable("ORLO_DEMO_GAME_RECORD");
    if (!recordPath.isEmpty())
        Record(recordPath, arguments);
    bool ok = false;
    int seconds = qEnvironmentVariableIntValue("ORLO_DEMO_GAME_SECONDS", &ok);
    if (!ok || seconds < 0 || seconds > 3600)
        seconds = 8;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Descent 3 (Orlo demo stand-in)"));
    auto *layout = new QVBoxLayout(&window);
    auto *heading = new QLabel(QStringLiteral("This stands in for Descent 3. Orlo started it with:"));
    layout->addWidget(heading);
    QStringList shown;
    for (const QString &argument : arguments)
        shown << Quoted(argument);
    auto *commandLine =
        new QPlainTextEdit(Quoted(QDir::toNativeSeparators(QApplication::applicationFilePath())) + QLatin1Char(' ') +
                           shown.join(QLatin1Char(' ')) + QStringLiteral("\n\nWorking folder: ") +
                           QDir::toNativeSeparators(QDir::currentPath()));
    commandLine->setReadOnly(true);
    layout->addWidget(commandLine);
    auto *countdown = new QLabel;
    countdown->setTextFormat(Qt::PlainText);
    layout->addWidget(countdown);
    auto *leave = new QPushButton(QStringLiteral("&Leave game"));
    layout->addWidget(leave);
    QObject::connect(leave, &QPushButton::clicked, &app, &QApplication::quit);

    int left = seconds;
    const auto show = [&] {
        countdown->setText(QStringLiteral("The game ends in %1 s, then Orlo logs in again.").arg(left));
    };
    show();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        if (--left <= 0)
            QApplication::quit();
        show();
    });
    tick.start(1000);
    if (seconds == 0)
        QTimer::singleShot(0, &app, &QApplication::quit);
    window.resize(640, 260);
    window.show();
    return QApplication::exec();
}
