#include "platform/ui/qt/message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/ui/qt/image_cache.h"
#include "resources/resources.h"

namespace mm::ui::qt {

namespace {

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

MessageBoxDialog::MessageBoxDialog(const MessageBoxRequest& req, QWidget* parent) : QDialog(parent) {
    setObjectName("messageBox");
    setWindowTitle(QString::fromStdString(req.title));
    setModal(true);
    setMinimumWidth(340);

    auto* icon = new QLabel(this);
    icon->setPixmap(ImageCache::fromBytes(mm::Resource("msgbox_icon.png")));
    icon->setAlignment(Qt::AlignTop);
    auto* title = new QLabel(QString::fromStdString(req.title), this);
    title->setObjectName("messageTitle");
    auto* text = new QLabel(fromWindowsText(req.text), this);
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
    for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
        auto* button = new QPushButton(QString::fromStdString(labels[static_cast<std::size_t>(i)]), this);
        button->setObjectName(i == 0 ? "accent" : "");
        button->setDefault(i == defaultChoice_);
        button->setMinimumWidth(96);
        connect(button, &QPushButton::clicked, this, [this, i] {
            chosen_ = i;
            accept();
        });
        buttons->addWidget(button);
    }
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(22, 20, 22, 18);
    root->setSpacing(18);
    root->addLayout(top);
    root->addLayout(buttons);
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
