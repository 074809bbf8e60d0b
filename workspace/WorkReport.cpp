// "Datenbank-Info": every schema rowset the provider offers, dumped as text onto the
// clipboard. The kinds are read one after the other on the GUI thread; status panel 4 tells
// which one.
#include "workspace/Work.h"

#include "data/Connection.h"
#include "data/Recordset.h"
#include "ui/MsgBox.h"
#include "workspace/SchemaErrorText.h"
#include "workspace/StatusBar.h"

#include <QApplication>
#include <QClipboard>
#include <QLayout>

namespace {

constexpr int ReportKinds = 40;

// Kinds 0 to 38 are the schema kinds of the same number; 39 stands for the provider's own.
TSchemaKind ReportKind(int k) {
    return k == ReportKinds - 1 ? TSchemaKind::ProviderSpecific : TSchemaKind(k);
}

const QString CrLf = QStringLiteral("\r\n");

} // namespace

QString TFrameWork::SchemaRowText(const TRecordset& row) {
    QString text;
    QString empty;
    const TFields& fields = row.Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        const TField& field = fields[i];
        const QString value = field.IsNull() ? QString() : field.AsText();
        if (value.isEmpty()) {
            empty += field.Name() + u' ';
            continue;
        }
        if (i > 0)
            text += CrLf;
        text +=
            QStringLiteral("  ") + field.Name() + u'=' + (field.IsBlob() ? QStringLiteral("<BLOB>") : value);
    }
    if (!empty.isEmpty())
        text += CrLf + QStringLiteral("    LEER: ") + empty;
    return text;
}

QString TFrameWork::BuildConnectionReport() {
    QString report;
    try {
        for (int k = 0; k < ReportKinds; ++k) {
            const QString name = SchemaKindName(ReportKind(k));
            try {
                SetStatusText(4, QString::number(k) + u' ' + name);
                // The panel's new width must be laid out before the immediate paint, which
                // would otherwise draw the text into the old width, over its neighbour.
                StatBar->layout()->activate();
                StatBar->repaint();
                report += QStringLiteral("SchemaInfo=") + QString::number(k) + u' ' + name;
                std::exception_ptr error;
                const std::unique_ptr<TRecordset> rows = ConnWork->OpenSchemaPartly(ReportKind(k), error);
                if (rows->RecordCount() == 0 && !error) {
                    report += QStringLiteral(" - keine Information\r\n");
                    continue;
                }
                for (rows->First(); !rows->Eof(); rows->Next())
                    report += CrLf + SchemaRowText(*rows) + CrLf;
                // The rows read before an error stay, followed by its text.
                if (error)
                    std::rethrow_exception(error);
            } catch (const std::exception& e) {
                report += QStringLiteral(" Exception: ") + SchemaErrorText(e) + CrLf;
            }
        }
    } catch (...) {
        SetStatusText(4, QStringLiteral("---"));
        throw;
    }
    SetStatusText(4, QStringLiteral("---"));
    return report;
}

void TFrameWork::ShowConnectionInfo() {
    QString report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        report = BuildConnectionReport();
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    MsgBox::Information(QStringLiteral("Connection information stored in clipboard"), this);
    QApplication::clipboard()->setText(report);
}
