#pragma once
// The plans window's widgets over an UpgradeModel: the header, the balance line, what a plan
// gives, the two plan cards and the footer.

#include "app/library/upgrade_model.h"

#include <QScrollArea>

#include <array>

class QLabel;
class QPushButton;

namespace quorvel::library {

class UpgradeView final : public QScrollArea {
    Q_OBJECT
public:
    // `model` becomes the view's child.
    explicit UpgradeView(UpgradeModel* model, QWidget* parent = nullptr);

    UpgradeModel& model() { return *model_; }
    // For tests.
    QLabel* balanceText() const { return balanceText_; }
    QPushButton* planButton(int index) const { return planButtons_.at(index); }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildFeatures();
    QWidget* buildPlanCard(const Plan& plan, int index);
    void refresh();
    void reload();

    UpgradeModel* model_;
    bool appeared_ = false;
    // Coming back from a checkout page in the browser reads the balance again.
    bool checkoutOpened_ = false;
    QWidget* balanceRow_ = nullptr;
    QLabel* balanceSymbol_ = nullptr;
    QLabel* balanceText_ = nullptr;
    std::array<QPushButton*, 2> planButtons_ {};
};

} // namespace quorvel::library
