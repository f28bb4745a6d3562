#ifndef PAINTCOUNTER_H
#define PAINTCOUNTER_H

#include <QObject>

// Counts the paint events that reach a widget, without taking them away from it.
class PaintCounter : public QObject
{
    Q_OBJECT

public:
    explicit PaintCounter(QObject *watched);

    int count() const;
    void reset();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_count = 0;
};

#endif // PAINTCOUNTER_H
