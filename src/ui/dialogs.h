// Where the window asks the operator something or tells them something:
// message boxes with an OK button, yes/no questions and the file dialog. Tests install their
// own Prompter that records and answers.
#pragma once

#include <QString>
#include <memory>

class QFileDialog;
class QWidget;

namespace koravel {

class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal message box with the title, the text, an OK button and the
    // warning icon (the window tells of success without a box).
    virtual void Message(const QString& title, const QString& text) = 0;
    // A modal question with Yes and No buttons, No the default; true for Yes.
    virtual bool Ask(const QString& title, const QString& text) = 0;
    // Runs the dialog as it is set up; true when the operator accepts it
    // (the chosen file is then in the dialog's selectedFiles()).
    virtual bool ChooseFile(QFileDialog& dialog) = 0;
};

// The real boxes and dialogs, modal over parent.
std::unique_ptr<Prompter> MakeWidgetPrompter(QWidget* parent);

} // namespace koravel
