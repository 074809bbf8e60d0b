#include "ui/KeyNames.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

class TKeyNamesTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "QShortcut") != 0)
            return {};
        static const QHash<QByteArray, QString> names{
            {"Ctrl", QStringLiteral("Strg")},     {"Shift", QStringLiteral("Umsch")},
            {"Alt", QStringLiteral("Alt")},       {"Return", QStringLiteral("Eingabe")},
            {"Enter", QStringLiteral("Eingabe")}, {"Backspace", QStringLiteral("Rück")},
            {"Del", QStringLiteral("Entf")},      {"Ins", QStringLiteral("Einfg")},
            {"Esc", QStringLiteral("Esc")},       {"Space", QStringLiteral("Leer")},
            {"PgUp", QStringLiteral("Bild auf")}, {"PgDown", QStringLiteral("Bild ab")},
            {"Home", QStringLiteral("Pos1")},     {"End", QStringLiteral("Ende")},
        };
        return names.value(QByteArray(sourceText));
    }
};

} // namespace

void InstallGermanTexts(QCoreApplication& app)
{
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
    // Installed last, so it is asked first.
    app.installTranslator(new TKeyNamesTranslator(&app));
}
