#pragma once

#include <functional>

#include <QLabel>
#include <QString>
#include <QUrl>

namespace vellumar
{

/**
 * A link label: clicking it opens its address (trimmed), or its caption when the address is empty.
 * It shows in the highlight colour, and in the button-shadow colour once an opening has succeeded.
 */
class TURLLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString address READ Address WRITE SetAddress)

public:
    /** Opens an address with the desktop's handler; true on success. */
    using TOpener = std::function<bool(const QUrl &)>;

    explicit TURLLabel(QWidget *parent = nullptr);

    [[nodiscard]] QString Address() const { return mAddress; }
    void SetAddress(const QString &address) { mAddress = address; }
    void SetOpener(TOpener opener);

    /** Opens the address; nothing happens when address and caption are both empty. */
    void OpenLink();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString mAddress;
    TOpener mOpener;
};

} // namespace vellumar
