#pragma once
// The options dialog. Its controls are the live settings for the whole run:
// filled once from the settings record, read by the page and login requests
// and copied back into the record when the main window closes. Its "Get
// Login" page asks the service for a login by e-mail (LoginRequest).

#include "ServiceExchange.h"
#include "SettingsRecord.h"
#include "SpinEdit.h"

#include <QDialog>

#include <memory>
#include <string>

class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTabWidget;

namespace zel {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(const SettingsRecord& settings, QWidget* owner = nullptr);

    // The text of the e-mail field passes the plausibility check.
    bool IsPlausibleEmail() const;
    bool LoginRequestRunning() const { return loginExchange_->Running(); }

    std::string login() const;
    std::string proxyHost() const;
    int proxyPort() const;
    int keepDays() const;
    int jpegQuality() const;
    int colorExponent() const;
    bool gray() const;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "Login"
    QWidget* TabSheet2 = nullptr; // "Proxy"
    QWidget* TabSheet3 = nullptr; // "Other"
    QWidget* Images = nullptr;    // "Images"
    QWidget* TabSheet4 = nullptr; // "Get Login"

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Label3 = nullptr;
    SpinEdit* SpinEdit1 = nullptr;
    QLabel* Label4 = nullptr;
    SpinEdit* SpinEdit2 = nullptr;
    QLabel* Label5 = nullptr;

    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label9 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;

    QLabel* Label14 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLabel* Label15 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;

    QPushButton* Button1 = nullptr;

public slots:
    void TrackBar1Change();
    void TrackBar2Change();
    void Button1Click();
    // "Get Login": the login request, from the e-mail to the service's answer.
    void Button2Click();
    // "Cancel": stops a running login request; otherwise only notes the wish.
    void Button3Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLoginPage();
    void buildProxyPage();
    void buildOtherPage();
    void buildImagesPage();
    void buildJpegGroup();
    void buildGifGroup();
    // Offers a login given in the service's answer for the page Login.
    void offerLogin(const std::string& login);
    void buildGetLoginPage();
    QWidget* addPage(const QString& caption);
    QLabel* addLabel(QWidget* parent, const QString& caption, int left, int top);
    void FormCreate(const SettingsRecord& settings);

    std::unique_ptr<ServiceExchange> loginExchange_;
    // Set by "Cancel", cleared before each login request.
    bool abortFlag_ = false;
};

} // namespace zel
