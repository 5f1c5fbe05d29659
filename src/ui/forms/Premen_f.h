#pragma once
// The rename dialog: a new block name from a prefix (a layer code), "_", a number
// part and ".blk".
#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vexa {

class TPremForm : public QDialog {
    Q_OBJECT
public:
    explicit TPremForm(QWidget* parent = nullptr);  // FormCreate

    // The composed name after the dialog closed with OK.
    const std::string& GetNewName() const { return FNewName; }
    // The prefixes offered in the list (the standard's layer codes).
    void SetPrefixItems(const std::vector<std::string>& items);

    QLabel* LabelOldName;
    QComboBox* ComboBox1;
    QFrame* Shape1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLabel* LabelResult;  // the name OK will give, or why it gives none
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

public slots:
    void ComboBox1Change();
    void Edit1Exit();
    void ShowResult();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* e) override;                      // FormShow
    bool eventFilter(QObject* watched, QEvent* event) override;  // the two key filters

private:
    void FormShow();
    std::string FNewName;
};

}  // namespace vexa
