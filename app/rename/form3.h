#pragma once

#include <QDialog>
#include <string>

class QComboBox;
class QLineEdit;

namespace brindle::app {

// The new name dialog for one row of the rename list. After "&Add it" it is accepted and
// newName() holds the name; "&Back" rejects it. Names are bytes: a kept extension stays
// byte for byte what it was, UTF-8 or not.
class Form3 : public QDialog {
    Q_OBJECT
public:
    explicit Form3(const std::string& fileName, QWidget* parent = nullptr);

    const std::string& newName() const { return newName_; }

private:
    void AddItClicked();

    std::string oldExtension_;
    std::string newName_;
    QLineEdit* text1_;
    QComboBox* combo1_;
};

}  // namespace brindle::app
