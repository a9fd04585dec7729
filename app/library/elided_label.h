#pragma once
// One line of remote text (a title, a style, an author): always plain text, shortened with an
// ellipsis when it does not fit, so a very long value never widens its window.

#include <QWidget>

namespace quorvel::library {

class ElidedLabel final : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);

    // The whole text, also the tooltip and the accessible name.
    void setText(const QString& text);
    QString text() const { return text_; }
    // The text as painted at the current width.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
};

} // namespace quorvel::library
