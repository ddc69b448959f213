#include "app/distribution/InstallLocationText.h"

namespace aerivo {

namespace {

// Columns: English, Korean, Japanese, Simplified Chinese, Spanish. "Applications" is the folder's
// name as each language's system shows it.
using Row = std::array<std::string_view, 5>;

constexpr std::array<Row, 6> table{{
    {"Move Aerivo Mac to Applications?", "Aerivo Mac을 응용 프로그램 폴더로 옮길까요?",
     "Aerivo Mac をアプリケーションフォルダに移動しますか?", "要将 Aerivo Mac 移到“应用程序”吗？",
     "¿Mover Aerivo Mac a Aplicaciones?"},
    {"Aerivo Mac is running from the disk image. Move it to Applications and relaunch so the "
     "helper, login item, and updates use the installed app.",
     "Aerivo Mac이 디스크 이미지에서 실행 중입니다. 헬퍼, 로그인 항목, 업데이트가 설치된 앱을 "
     "사용하도록 응용 프로그램 폴더로 옮기고 다시 실행하세요.",
     "Aerivo Mac はディスクイメージから実行されています。ヘルパー、ログイン項目、アップデートが"
     "インストールされたアプリを使うように、アプリケーションフォルダに移動して再度開いてください。",
     "Aerivo Mac 正在从磁盘映像运行。请将其移到“应用程序”并重新打开，以便辅助程序、登录项和更新"
     "使用已安装的应用。",
     "Aerivo Mac se está ejecutando desde la imagen de disco. Muévelo a Aplicaciones y vuelve a "
     "abrirlo para que el auxiliar, el ítem de inicio de sesión y las actualizaciones usen la app "
     "instalada."},
    {"Move and Relaunch", "옮기고 다시 실행", "移動して再度開く", "移动并重新打开",
     "Mover y reabrir"},
    {"Quit", "종료", "終了", "退出", "Salir"},
    {"Could not move Aerivo Mac", "Aerivo Mac을 옮길 수 없습니다",
     "Aerivo Mac を移動できませんでした", "无法移动 Aerivo Mac", "No se pudo mover Aerivo Mac"},
    {"Move Aerivo Mac.app to Applications manually, then open it from Applications.\n\n%@",
     "Aerivo Mac.app을 직접 응용 프로그램 폴더로 옮긴 다음 응용 프로그램 폴더에서 여세요.\n\n%@",
     "Aerivo Mac.app を手動でアプリケーションフォルダに移動してから、アプリケーションフォルダで"
     "開いてください。\n\n%@",
     "请手动将 Aerivo Mac.app 移到“应用程序”，然后从“应用程序”中打开它。\n\n%@",
     "Mueve Aerivo Mac.app a Aplicaciones manualmente y luego ábrelo desde Aplicaciones.\n\n%@"},
}};

std::size_t column(AppLanguage language) {
    switch (language) {
    case AppLanguage::english:
        return 0;
    case AppLanguage::korean:
        return 1;
    case AppLanguage::japanese:
        return 2;
    case AppLanguage::chineseSimplified:
        return 3;
    case AppLanguage::spanish:
        return 4;
    }
    return 0;
}

} // namespace

std::string_view localized(InstallLocationText text, AppLanguage language) {
    return table[static_cast<std::size_t>(text)][column(language)];
}

} // namespace aerivo
