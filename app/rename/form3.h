#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;

namespace brindle::app {

// The new name dialog for one row of the rename list. After "&Add it" it is accepted and
// newName() holds the name; "&Back" rejects it.
class Form3 : public QDialog {
    Q_OBJECT
public:
    explicit Form3(const QString& fileName, QWidget* parent = nullptr);

    const QString& newName() const { return newName_; }

private:
    void AddItClicked();

    QString oldExtension_;
    QString newName_;
    QLineEdit* text1_;
    QComboBox* combo1_;
};

}  // namespace brindle::app
