// The window system's answers, from Qt: the library's window layer runs on
// it and creates its application with the first window.
#include "screen.hpp"

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QLayout>
#include <QScreen>
#include <QThread>
#include <QWidget>

namespace screen {
namespace {

QWidget* window_named(const std::string& name)
{
    if (QApplication::instance() == nullptr) {
        return nullptr;
    }
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        if (candidate->windowTitle() == QString::fromStdString(name)) {
            return candidate;
        }
    }
    return nullptr;
}

// Events for a little while: the toolkit lays a new window out, shows it
// and resizes it a moment after it is asked to, and a window manager frames
// it a moment later still.
void catch_up(QWidget* window)
{
    QElapsedTimer waited;
    waited.start();
    QCoreApplication::processEvents();
    while ((waited.elapsed() < 40 || window->frameGeometry() == window->geometry()) &&
           waited.elapsed() < 200) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
}

} // namespace

std::optional<Desk> desk_of(const std::string& name)
{
    QWidget* window = window_named(name);
    QGraphicsView* view = window != nullptr ? window->findChild<QGraphicsView*>() : nullptr;
    if (view == nullptr || window->screen() == nullptr) {
        return std::nullopt;
    }
    // Laid out now, without handling any event: a window that fits must come
    // up exactly as it would without this question.
    if (window->layout() != nullptr) {
        window->layout()->activate();
    }
    const QRect area = window->screen()->availableGeometry();
    // The window manager's frame, once it has framed the window; none before.
    const QRect frame = window->frameGeometry();
    const cv::Size decoration(std::max(0, frame.width() - window->width()),
                              std::max(0, frame.height() - window->height()));
    // Beside the picture only the frame; above and below it also the
    // toolbar, the sliders and the status bar.
    const cv::Size chrome(decoration.width, window->height() - view->height() + decoration.height);
    // Showing nothing yet, the window is as narrow as its toolbar lets it be.
    const int least_width = window->width() + decoration.width;
    return Desk{cv::Rect(area.x(), area.y(), area.width(), area.height()), chrome, decoration, least_width};
}

cv::Rect settle(const std::string& name)
{
    QWidget* window = window_named(name);
    if (window == nullptr) {
        return {};
    }
    catch_up(window);
    const QRect frame = window->frameGeometry();
    return {frame.x(), frame.y(), frame.width(), frame.height()};
}

} // namespace screen
