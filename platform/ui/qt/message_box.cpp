#include "platform/ui/qt/message_box.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/ui/qt/image_cache.h"
#include "platform/ui/qt/skin.h"
#include "resources/resources.h"

namespace mm::ui::qt {

namespace {

constexpr int kShadowBlur = 30;
constexpr int kShadowMargin = 24;

QString fromWindowsText(const std::string& s) {
    QString t = QString::fromStdString(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

// Released once, either after the dialog ran or when the queued call was
// dropped without running (its function object is destroyed either way).
struct Waiter {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    void finish() {
        {
            std::lock_guard lk(mu);
            done = true;
        }
        cv.notify_all();
    }
    void wait() {
        std::unique_lock lk(mu);
        cv.wait(lk, [this] { return done; });
    }
};

class FinishOnDestroy {
public:
    explicit FinishOnDestroy(std::shared_ptr<Waiter> w) : waiter_(std::move(w)) {}
    ~FinishOnDestroy() { waiter_->finish(); }
    FinishOnDestroy(const FinishOnDestroy&) = delete;
    FinishOnDestroy& operator=(const FinishOnDestroy&) = delete;

private:
    std::shared_ptr<Waiter> waiter_;
};

}  // namespace

MessageBoxDialog::MessageBoxDialog(const MessageBoxRequest& req, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName("messageBox");
    setWindowTitle(QString::fromStdString(req.title));
    setModal(true);
    setAttribute(Qt::WA_TranslucentBackground);
    // Without the window behind it, the box still wears the skin.
    if (!parent) skin::ApplyTo(*this);

    auto* card = new QFrame(this);
    card->setObjectName("messageCard");
    card_ = card;
    auto* shadow = new QGraphicsDropShadowEffect(card);
    shadow->setBlurRadius(kShadowBlur);
    shadow->setOffset(0, 6);
    shadow->setColor(QColor(0, 0, 0, 70));
    card->setGraphicsEffect(shadow);
    card->setMinimumWidth(340);

    auto* icon = new QLabel(card);
    icon->setPixmap(ImageCache::fromBytes(mm::Resource("msgbox_icon.png")));
    icon->setAlignment(Qt::AlignTop);
    auto* title = new QLabel(QString::fromStdString(req.title), card);
    title->setObjectName("messageTitle");
    auto* text = new QLabel(fromWindowsText(req.text), card);
    text->setObjectName("messageText");
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    defaultChoice_ = req.defaultChoice;
    std::vector<std::string> labels = req.buttons();
    if (labels[0].empty()) labels[0] = "OK";

    auto* body = new QVBoxLayout;
    body->setSpacing(8);
    body->addWidget(title);
    body->addWidget(text);
    auto* top = new QHBoxLayout;
    top->setSpacing(14);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* focused = nullptr;
    for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
        auto* button = new QPushButton(QString::fromStdString(labels[static_cast<std::size_t>(i)]), card);
        button->setObjectName(i == 0 ? "accent" : "");
        button->setDefault(i == defaultChoice_);
        button->setMinimumSize(96, 34);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, i] {
            chosen_ = i;
            accept();
        });
        buttons->addWidget(button);
        if (i == defaultChoice_ || !focused) focused = button;
    }
    auto* inner = new QVBoxLayout(card);
    inner->setContentsMargins(22, 20, 22, 18);
    inner->setSpacing(18);
    inner->addLayout(top);
    inner->addLayout(buttons);
    auto* root = new QVBoxLayout(this);
    // Room around the card for its shadow.
    root->setContentsMargins(kShadowMargin, kShadowMargin - 4, kShadowMargin, kShadowMargin + 4);
    root->addWidget(card);
    focused->setFocus();
}

void MessageBoxDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Over the middle of the window it belongs to.
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void MessageBoxDialog::mousePressEvent(QMouseEvent* e) {
    dragging_ = false;
    if (e->button() == Qt::LeftButton && card_->geometry().contains(e->position().toPoint())) {
        dragging_ = true;
        dragFrom_ = e->globalPosition().toPoint() - pos();
    }
    QDialog::mousePressEvent(e);
}

void MessageBoxDialog::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - dragFrom_);
    QDialog::mouseMoveEvent(e);
}

int MessageBoxDialog::choose() {
    chosen_ = -1;
    exec();
    return chosen_ < 0 ? defaultChoice_ : chosen_;
}

MessageBoxHost::MessageBoxHost(ControlModel& model, QWidget* owner)
    : QObject(owner), model_(model), owner_(owner), poster_(this) {
    GuiPoster poster = poster_;
    QThread* gui = thread();
    model_.setMessageBoxPresenter([this, poster, gui](const MessageBoxRequest& req) {
        if (QThread::currentThread() == gui) {
            present(req);
            return;
        }
        auto waiter = std::make_shared<Waiter>();
        auto guard = std::make_shared<FinishOnDestroy>(waiter);
        if (!poster.post([this, req, guard] { present(req); })) return;
        guard.reset();
        waiter->wait();
    });
    model_.setQuestionPresenter([this, poster, gui](const MessageBoxRequest& req) -> int {
        if (QThread::currentThread() == gui) return present(req);
        auto waiter = std::make_shared<Waiter>();
        auto answer = std::make_shared<std::atomic<int>>(req.defaultChoice);
        auto guard = std::make_shared<FinishOnDestroy>(waiter);
        if (!poster.post([this, req, guard, answer] { answer->store(present(req)); })) return req.defaultChoice;
        guard.reset();
        waiter->wait();
        return answer->load();
    });
}

MessageBoxHost::~MessageBoxHost() {
    model_.setMessageBoxPresenter(nullptr);
    model_.setQuestionPresenter(nullptr);
    poster_.close();
}

int MessageBoxHost::present(const MessageBoxRequest& req) {
    MessageBoxDialog box(req, owner_ && owner_->isVisible() ? owner_ : nullptr);
    return box.choose();
}

}  // namespace mm::ui::qt
