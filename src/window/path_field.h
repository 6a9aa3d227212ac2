#pragma once

#include <QFrame>
#include <QString>

namespace ov {

// A read-only path in a sunken frame: a long path is shortened in its middle so that both
// its start and its file name stay visible; the whole path is the tooltip.
class PathField : public QFrame {
  public:
    explicit PathField(QWidget* parent);
    void SetPath(const QString& path);
    const QString& Path() const { return path_; }
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString path_;
};

}  // namespace ov
