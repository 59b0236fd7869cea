#include "WmaProfiles.h"

#include "CRegistry.h"
#include "ConvertIds.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "WMException.h"
#include "WmEncoderControl.h"

#include <QApplication>
#include <QComboBox>

namespace cld {
namespace {

// The folder where the user's own profiles live, as the media tools recorded it.
std::string userProfileFolder() {
    CRegistry reg;
    std::string folder;
    if (reg.ConnectRoot(HKEY_CLASSES_ROOT) &&
        reg.OpenKey(SettingsRecord::kMediaProfileFolderKeyPath, KEY_READ))
        reg.ReadString("", folder);
    return folder;
}

} // namespace

std::unique_ptr<WmEncoderControl> createMediaEncoder(const JobContext& context) {
    return std::make_unique<WmEncoderControl>(context.programFolder.toStdString() + "profiles",
                                              userProfileFolder());
}

engine::EncoderOptions wmaProfileOptions(const JobContext& context, int profileIndex) {
    return {{"profile", std::to_string(profileIndex)},
            {"profilefolder", context.programFolder.toStdString() + "profiles"},
            {"userprofilefolder", userProfileFolder()}};
}

std::vector<AudioProfile> listAudioProfiles(const WmEncoderControl& encoder,
                                            uint32_t* failureCode) {
    std::vector<AudioProfile> out;
    if (failureCode)
        *failureCode = 0;
    try {
        const int count = encoder.GetProfileCount();
        for (int i = 0; i < count; ++i) {
            const WmProfileInfo info = encoder.GetProfileInfo(i);
            if (info.audioStreams > 0 && info.videoStreams == 0 && info.scriptStreams == 0)
                out.push_back({info.name, i});
        }
    } catch (const WMException& e) {
        if (failureCode)
            *failureCode = e.GetCode();
    }
    return out;
}

void fillProfileList(QComboBox* list, const WmEncoderControl& encoder, QWidget* parent) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    uint32_t failure = 0;
    const std::vector<AudioProfile> profiles = listAudioProfiles(encoder, &failure);
    for (const AudioProfile& p : profiles)
        list->addItem(QString::fromStdString(p.name), p.position);
    if (list->count() > 0)
        list->setCurrentIndex(0);
    QApplication::restoreOverrideCursor();
    if (failure != 0)
        showStringMessage(parent, IDS_PROFILE_ERROR, MessageIcon::Error,
                          QString::number(failure, 16).toUpper());
}

} // namespace cld
