#include "ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace koravel {

namespace {

class WidgetPrompter final : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent) : parent_(parent) {}

    void Message(const QString& title, const QString& text) override {
        // Every box of the window tells of a problem: the warning icon.
        QMessageBox::warning(parent_, title, text, QMessageBox::Ok);
    }

    bool Ask(const QString& title, const QString& text) override {
        return QMessageBox::question(parent_, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }

    bool ChooseFile(QFileDialog& dialog) override { return dialog.exec() == QDialog::Accepted; }

private:
    QPointer<QWidget> parent_;
};

} // namespace

std::unique_ptr<Prompter> MakeWidgetPrompter(QWidget* parent) {
    return std::make_unique<WidgetPrompter>(parent);
}

} // namespace koravel
