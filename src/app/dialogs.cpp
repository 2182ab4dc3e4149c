#include "app/dialogs.h"

#include "app/sjis_text.h"
#include "app/unitv.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTranslator>
#include <unistd.h>

namespace {

// "description|pattern" becomes Qt's "description (pattern)"; a description that names its
// pattern already, as "Text File(*.txt)", is shown as it stands.
QString QtFilter(const std::string& filter)
{
    const QString text = ToQt(filter);
    const qsizetype bar = text.indexOf('|');
    if (bar < 0) return text;
    const QString description = text.left(bar);
    const QString pattern = text.mid(bar + 1);
    if (description.endsWith("(" + pattern + ")")) return description;
    return description + " (" + pattern + ")";
}

// Where the next file dialog opens: FirstDialogFolder (or the program's folder) at first,
// then the folder of the file last chosen.
std::string LastFolder;

// A message box sizes itself to its text; a short text would leave too little room for the
// caption, the application title, which the window manager then cuts.
void WidenForTitle(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    // Room for the title and the frame's buttons beside it.
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + 120;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

class QtDialogs : public Dialogs {
public:
    void Message(QWidget* parent, const std::string& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, ToQt(ApplicationTitle()), ToQt(text), QMessageBox::Ok, parent);
        WidenForTitle(box);
        box.exec();
    }

    bool Confirm(QWidget* parent, const std::string& text) override
    {
        QMessageBox box(QMessageBox::Question, ToQt(Sjis("確認")), ToQt(text), QMessageBox::NoButton, parent);
        QPushButton* yes = box.addButton(ToQt(Sjis("はい(&Y)")), QMessageBox::YesRole);
        QPushButton* no = box.addButton(ToQt(Sjis("いいえ(&N)")), QMessageBox::NoRole);
        // Every question the program asks is about to destroy or overwrite shared data: Enter,
        // pressed without reading, must leave it alone.
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        WidenForTitle(box);
        box.exec();
        return box.clickedButton() == yes;
    }

    std::optional<std::string> OpenFile(QWidget* parent, const FileDialogOptions& options) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);  // path and file must exist
        return Run(dialog, options, !LastFolder.empty() ? LastFolder : FirstDialogFolder);
    }

    std::optional<std::string> SaveFile(QWidget* parent, const FileDialogOptions& options) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);  // asks before overwriting
        dialog.setFileMode(QFileDialog::AnyFile);
        // Not in the folder of an installed Sample.txt, say, where nothing can be written.
        const bool lastWritable = !LastFolder.empty() && access(LastFolder.c_str(), W_OK) == 0;
        return Run(dialog, options,
                   lastWritable ? LastFolder : !FirstSaveFolder.empty() ? FirstSaveFolder : FirstDialogFolder);
    }

private:
    static std::optional<std::string> Run(QFileDialog& dialog, const FileDialogOptions& options,
                                          const std::string& firstFolder)
    {
        const std::string& folder = !firstFolder.empty() ? firstFolder : AppDir;
        if (!folder.empty()) dialog.setDirectory(QString::fromLocal8Bit(folder.c_str()));
        dialog.setNameFilter(QtFilter(options.Filter));
        QString suffix = ToQt(options.DefaultExtension);
        if (suffix.startsWith('.')) suffix.remove(0, 1);
        dialog.setDefaultSuffix(suffix);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        const QString chosen = dialog.selectedFiles().front();
        LastFolder = (QFileInfo(chosen).absolutePath() + '/').toLocal8Bit().toStdString();
        return chosen.toLocal8Bit().toStdString();
    }
};

QtDialogs& RealDialogs()
{
    static QtDialogs dialogs;
    return dialogs;
}

Dialogs* Installed = nullptr;

}  // namespace

Dialogs& CurrentDialogs() { return Installed ? *Installed : RealDialogs(); }

void SetDialogs(Dialogs* dialogs) { Installed = dialogs; }

void InstallQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), "qt", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

void ShowMessage(QWidget* parent, const std::string& text) { CurrentDialogs().Message(parent, text); }

bool ConfirmYes(QWidget* parent, const std::string& text) { return CurrentDialogs().Confirm(parent, text); }

std::string FirstDialogFolder;
std::string FirstSaveFolder;

std::string ApplicationTitle() { return Sjis("t803－クイズゲーム"); }

std::string QuoteMessage() { return Sjis("引用符「'」「\"」を入力しないで下さい"); }
