#pragma once
// The copies dialog: asks for one whole number of copies from 0 to 9999.

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

namespace gui {

class TfrmInputAFloat : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInputAFloat(QWidget *parent = nullptr);

    static constexpr int DesignClientWidth = 472;
    static constexpr int DesignClientHeight = 124;

    bool iscancel = true;

    QLabel *Label1 = nullptr;
    QLineEdit *EditFloat = nullptr;
    QFrame *Panel2 = nullptr;
    QPushButton *cmdEnsure = nullptr;
    QPushButton *cmdCancel = nullptr;

    void FormCreate(QObject *Sender);
    void cmdEnsureClick(QObject *Sender);
    void cmdCancelClick(QObject *Sender);
    // Replaces Key with the null character to discard it.
    void EditFloatKeyPress(QObject *Sender, QChar &Key);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
};

// The character a key press types, as the edit would receive it: control characters for
// Ctrl+letter combinations, the null character for keys that type nothing.
QChar typedCharacter(const QKeyEvent &event);

// Shows the dialog modally; true when the number was accepted with 确认. The edit's text is
// converted into `number` in either case (which may throw the conversion error).
bool InputAFloat(const QString &caption, const QString &mask, std::int32_t &number);

} // namespace gui
