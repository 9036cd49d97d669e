// The controls the windows are built from, where Qt has no ready equivalent:
// the checkable sorted list box, the hidden page buffer, the radio group and
// the progress bar's setting.
#pragma once

#include "CheckList.h"
#include "PageBuffer.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QRadioButton>
#include <QValidator>
#include <QWidget>

#include <vector>

class QBoxLayout;
class QDialog;
class QPushButton;

// A list box showing a TCheckListModel: one tick box per entry, at most one
// current (highlighted) entry. The model's current entry and the view's are
// kept the same both ways. Space flips the tick of the current entry,
// clicking a tick box flips that tick, clicking an entry's text makes it
// current without changing its tick; a right click changes neither. Del is
// reported by DeleteKeyPressed. Shift+F10 opens the context menu at the
// current entry, as the Menu key does. Each entry shows whole in its tooltip,
// and assistive tools see each entry as a tick box, ticked or not, and are
// told when its tick changes.
class TCheckListBox : public QListView {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget* parent = nullptr);

    // The entries (owned by the list box).
    TCheckListModel* const Items;

    int Count() const { return Items->Count(); }
    int ItemIndex() { return Items->ItemIndex(); }
    void SetItemIndex(int index) { Items->SetItemIndex(index); }
    bool Checked(int index) { return Items->Checked(index); }
    void SetChecked(int index, bool checked) { Items->SetChecked(index, checked); }
    bool Selected(int index) { return Items->IsCurrent(index); }

signals:
    void DeleteKeyPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // A right click only opens the context menu: the current entry stays,
    // so the menu's items act on the highlighted entry.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Announces a change of tick to assistive tools.
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    void showModelIndex(int index);

    int changing_ = 0;     // inside a structural change of the model
    bool syncing_ = false; // setting the view from the model
};

// A counter of the main window: a label holding a figure. Assistive tools see
// it under its accessible name (its caption's words) with the figure as its
// value.
class TCounterLabel : public QLabel {
    Q_OBJECT
public:
    explicit TCounterLabel(QWidget* parent = nullptr);
};

// The page buffer as a control of the main window. It is never visible; the
// scanners use its text, selection and find directly.
class TPageBufferEdit : public QWidget, public TPageBuffer {
    Q_OBJECT
public:
    explicit TPageBufferEdit(QWidget* parent = nullptr);

    bool HorzScrollBar = false;
    bool VertScrollBar = false;
};

// A titled group of radio buttons with the index of the chosen one.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    int ItemIndex() const;   // -1 when none is chosen
    void SetItemIndex(int index);
    int Count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* Item(int index) const { return buttons_.at(static_cast<size_t>(index)); }

private:
    QButtonGroup* group_;
    std::vector<QRadioButton*> buttons_;
};

// Keeps a one-line text box to one line, as a single-line edit control does:
// of a text pasted (or set) with line breaks only the first line is taken.
// A setting or key word thus never carries a line break into user.dat, a
// query or a protocol line.
class TSingleLineValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Sets a progress bar as a gauge: a maximum of 0 (nothing to count) shows an
// empty bar rather than Qt's endlessly moving busy indicator, and a position
// past the maximum shows a full bar rather than being ignored (which would
// leave the bar at its old position).
void SetGauge(QProgressBar* bar, int maximum, int position);
// A viewer dialog's "&Close" button (cmdChiudi), which hides the dialog,
// alone at the right of a row ending the layout.
QPushButton* AddCloseRow(QDialog* dialog, QBoxLayout* layout);
void SetGaugePosition(QProgressBar* bar, int position);
