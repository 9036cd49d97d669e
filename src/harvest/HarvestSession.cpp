#include "HarvestSession.h"

#include "AddressScanner.h"
#include "LinkExtractor.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHarvest, "corvina.harvest", QtWarningMsg)

THarvestSession::THarvestSession(IHarvestView& view, IPageFetcher& fetcher, TCheckListModel& sites,
                                 TCheckListModel& results, TPageBuffer& page)
    : view_(view), fetcher_(fetcher), sites_(sites), results_(results), page_(page)
{
}

void THarvestSession::Reset()
{
    stop_ = false;
    resumeIndex_ = 0;
}

void THarvestSession::SearchEmail()
{
    stop_ = false;
    const int ticked = sites_.CheckedCount();
    auto progress = [ticked](int examined) {
        std::string text = std::to_string(examined);
        text += '/';
        text += std::to_string(ticked);
        return text;
    };
    view_.SetHarvestBar(ticked, 0);
    view_.ShowExamined(progress(0));
    if (ticked == 0) {
        view_.ShowError("Must select on 'Siti Trovati' sites to examine");
        return;
    }

    // A resumed harvest counts every entry before the resume index as
    // examined, ticked or not.
    int index = resumeIndex_;
    int examined = resumeIndex_;
    if (resumeIndex_ != 0)
        view_.SetHarvestPosition(examined);

    // The list is read afresh at every step: list operations may run during
    // a fetch and change its entries and its count.
    while (index < sites_.Count() && !stop_) {
        if (sites_.Checked(index)) {
            const std::string url = sites_.Text(index);
            try {
                std::string body = fetcher_.Get(url);
                page_.SetText(std::move(body));
            } catch (const std::exception& e) {
                qCInfo(lcHarvest, "site %s skipped: %s", url.c_str(), e.what());
            } catch (...) {
                qCInfo(lcHarvest, "site %s skipped", url.c_str());
            }
            ScanAddresses(page_, results_, view_.HarvestSettings().KeepAllAddresses);
            ++examined;
            view_.SetHarvestPosition(examined);
            view_.ShowExamined(progress(examined));
            RemoveDuplicates(results_);
            view_.ShowResultCount(results_.Count());
            if (OnSiteDone)
                OnSiteDone(examined, ticked, results_.Count());
        }
        ++index;
    }

    if (stop_) {
        resumeIndex_ = index;
        RemoveDuplicates(results_);
        view_.HarvestOffersResume();
    }
    if (view_.HarvestSettings().DisconnectOnEnd)
        view_.HangUp();
    CleanAllAddresses(results_, view_.HarvestSettings().KeepAllAddresses);
}
