// The splash window shown while the program starts.
#pragma once

#include <QLabel>
#include <QWidget>

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);
    ~TfrmSplash() override;

    QLabel* Image1;

    void FormCreate(QObject* Sender = nullptr);
};

extern TfrmSplash* frmSplash;
