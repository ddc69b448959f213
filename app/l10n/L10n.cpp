#include "app/l10n/L10n.h"

#include <cstddef>

namespace aerivo::L10n {

namespace {

// One row per key, in declaration order, with the text of each language in the order of
// allAppLanguages. Keeping the languages side by side makes a missing or drifting
// translation visible in review; the table cannot hold an empty cell by construction.
struct Row {
    L10nKey key;
    std::array<std::string_view, allAppLanguages.size()> texts;
};

constexpr std::array<Row, l10nKeyCount> rows{{
    {L10nKey::activeTarget,
     {"Active target", "활성 목표", "適用中の目標", "生效目标", "Objetivo activo"}},
    {L10nKey::actualFan, {"Actual fan", "실제 팬", "実際のファン", "实际风扇", "Ventilador real"}},
    {L10nKey::actualFans,
     {"Actual fans", "실제 팬(전체)", "実際のファン（全体）", "实际风扇（全部）",
      "Ventiladores reales"}},
    {L10nKey::addPoint, {"Add Point", "포인트 추가", "ポイントを追加", "添加点", "Añadir punto"}},
    {L10nKey::allowedRange,
     {"Allowed: %@ - %@", "허용 범위: %@ - %@", "許容範囲: %@ - %@", "允许范围: %@ - %@",
      "Rango permitido: %@ - %@"}},
    {L10nKey::appSettings, {"App", "앱", "アプリ", "应用", "Aplicación"}},
    {L10nKey::balancedDefaults,
     {"Balanced Defaults", "균형 기본값", "バランスのデフォルト", "均衡默认值",
      "Valores predeterminados equilibrados"}},
    {L10nKey::cancel, {"Cancel", "취소", "キャンセル", "取消", "Cancelar"}},
    {L10nKey::checkForUpdates,
     {"Check for Updates", "업데이트 확인", "アップデートを確認", "检查更新",
      "Buscar actualizaciones"}},
    {L10nKey::checkingForUpdates,
     {"Checking...", "확인 중...", "確認中...", "正在检查...", "Comprobando..."}},
    {L10nKey::controlWithCurve,
     {"Turn On Fan Control", "팬 제어 켜기", "ファン制御をオンにする", "开启风扇控制",
      "Activar control del ventilador"}},
    {L10nKey::curve, {"Curve", "커브", "カーブ", "曲线", "Curva"}},
    {L10nKey::curveEditor,
     {"Curve Editor", "커브 편집기", "カーブエディタ", "曲线编辑器", "Editor de curva"}},
    {L10nKey::curveEditorSubtitle,
     {"Drag points or click their labels to set exact temperature and fan-speed targets. The "
      "observed live temperature distribution appears on the graph.",
      "포인트를 드래그하거나 레이블을 클릭해 정확한 온도와 팬 속도 목표를 설정하세요. 관측된 "
      "실시간 온도 분포가 그래프에 표시됩니다.",
      "ポイントをドラッグするか、ラベルをクリックして、温度とファン速度の目標を正確に設定します。観"
      "測されたリアルタイムの温度分布がグラフに表示されます。",
      "拖动点或点击其标签，可设置精确的温度和风扇转速目标。图表上会显示观测到的实时温度分布。",
      "Arrastra los puntos o haz clic en sus etiquetas para fijar objetivos exactos de temperatura "
      "y velocidad del ventilador. La distribución de temperatura observada en vivo aparece en el "
      "gráfico."}},
    {L10nKey::curveTarget,
     {"Curve target", "커브 목표", "カーブの目標", "曲线目标", "Objetivo de la curva"}},
    {L10nKey::curveTargetNearCurrent,
     {"Curve target is near current speed", "커브 목표가 현재 속도에 가깝습니다",
      "カーブの目標は現在の速度に近いです", "曲线目标接近当前转速",
      "El objetivo de la curva está cerca de la velocidad actual"}},
    {L10nKey::curveTargetWillSlowDown,
     {"Curve target will slow down by %@", "커브 목표에 따라 %@ 감속합니다",
      "カーブの目標により %@ 減速します", "曲线目标将使转速降低 %@",
      "El objetivo de la curva reducirá la velocidad en %@"}},
    {L10nKey::curveTargetWillSpeedUp,
     {"Curve target will speed up by %@", "커브 목표에 따라 %@ 가속합니다",
      "カーブの目標により %@ 加速します", "曲线目标将使转速提高 %@",
      "El objetivo de la curva aumentará la velocidad en %@"}},
    {L10nKey::curveWouldHold,
     {"Curve would hold near current speed", "커브를 쓰면 현재 속도 부근을 유지합니다",
      "カーブを使うと現在の速度付近を維持します", "若使用曲线，将保持接近当前转速",
      "La curva mantendría una velocidad cercana a la actual"}},
    {L10nKey::curveWouldSlowDown,
     {"Curve would slow down by %@", "커브를 쓰면 %@ 감속합니다", "カーブを使うと %@ 減速します",
      "若使用曲线，转速将降低 %@", "La curva reduciría la velocidad en %@"}},
    {L10nKey::curveWouldSpeedUp,
     {"Curve would speed up by %@", "커브를 쓰면 %@ 가속합니다", "カーブを使うと %@ 加速します",
      "若使用曲线，转速将提高 %@", "La curva aumentaría la velocidad en %@"}},
    {L10nKey::disabled, {"Disabled", "사용 안 함", "無効", "已停用", "Desactivado"}},
    {L10nKey::detectedRange,
     {"Detected range", "감지된 범위", "検出された範囲", "检测到的范围", "Rango detectado"}},
    {L10nKey::detectAgain,
     {"Detect Again", "다시 감지", "再検出", "重新检测", "Detectar de nuevo"}},
    {L10nKey::fan, {"Fan", "팬", "ファン", "风扇", "Ventilador"}},
    {L10nKey::aerivoMac, {"Aerivo Mac", "Aerivo Mac", "Aerivo Mac", "Aerivo Mac", "Aerivo Mac"}},
    {L10nKey::fanOff, {"Fan off", "팬 꺼짐", "ファン停止", "风扇关闭", "Ventilador apagado"}},
    {L10nKey::fanOffBelow,
     {"Fan off below", "팬 꺼짐 기준 온도(미만)", "ファン停止温度（未満）", "风扇关闭温度（低于）",
      "Ventilador apagado por debajo de"}},
    {L10nKey::fanOffEnabled,
     {"Use fan off", "팬 끄기 사용", "ファン停止を使用", "启用风扇关闭",
      "Usar apagado del ventilador"}},
    {L10nKey::fanOffRange, {"Fan off", "팬 꺼짐", "ファン停止", "风扇关闭", "Ventilador apagado"}},
    {L10nKey::fanOffRangeActive,
     {"Fan off below %@; macOS controls the fan.", "%@ 미만에서 팬 꺼짐: macOS가 팬을 제어합니다.",
      "%@ 未満でファン停止。macOS がファンを制御します。",
      "低于 %@ 时关闭风扇；由 macOS 控制风扇。",
      "Ventilador apagado por debajo de %@; macOS controla el ventilador."}},
    {L10nKey::fanOffRangeDescription,
     {"macOS controls the fan below %@", "%@ 미만에서는 macOS가 팬을 제어합니다",
      "%@ 未満では macOS がファンを制御します", "低于 %@ 时由 macOS 控制风扇",
      "macOS controla el ventilador por debajo de %@"}},
    {L10nKey::fanSpeed,
     {"Fan speed", "팬 속도", "ファン速度", "风扇转速", "Velocidad del ventilador"}},
    {L10nKey::fanSpeedAxis,
     {"Fan Speed Axis", "팬 속도 축", "ファン速度軸", "风扇转速轴",
      "Eje de velocidad del ventilador"}},
    {L10nKey::fanWritesSafetyNote,
     {"Curve control renews a short helper lease; stopping the app returns fan control to macOS.",
      "커브 제어는 짧은 헬퍼 임대를 갱신합니다. 앱을 중지하면 팬 제어가 macOS로 돌아갑니다.",
      "カーブ制御はヘルパーの短いリースを更新します。アプリを停止するとファン制御は macOS "
      "に戻ります。",
      "曲线控制会续订辅助程序的短期租约；停止应用后，风扇控制权将交还 macOS。",
      "El control por curva renueva una concesión breve del auxiliar; al detener la app, el "
      "control del ventilador vuelve a macOS."}},
    {L10nKey::hardwareRange,
     {"Hardware range", "하드웨어 범위", "ハードウェア範囲", "硬件范围", "Rango del hardware"}},
    {L10nKey::installHelper,
     {"Install Fan Control Helper", "팬 제어 헬퍼 설치", "ファン制御ヘルパーをインストール",
      "安装风扇控制辅助程序", "Instalar auxiliar de control del ventilador"}},
    {L10nKey::language, {"Language", "언어", "言語", "语言", "Idioma"}},
    {L10nKey::last1Hour, {"1 hr", "1시간", "1時間", "1小时", "1 h"}},
    {L10nKey::last5Minutes, {"5 min", "5분", "5分", "5分钟", "5 min"}},
    {L10nKey::last24Hours, {"24 hr", "24시간", "24時間", "24小时", "24 h"}},
    {L10nKey::last30Minutes, {"30 min", "30분", "30分", "30分钟", "30 min"}},
    {L10nKey::limit, {"Limit", "한계", "上限", "上限", "Límite"}},
    {L10nKey::liveTemp,
     {"Live Temp", "실시간 온도", "リアルタイム温度", "实时温度", "Temp. en vivo"}},
    {L10nKey::liveTemperature,
     {"Live temperature", "실시간 온도", "リアルタイム温度", "实时温度", "Temperatura en vivo"}},
    {L10nKey::launchAtLogin,
     {"Open at Login", "로그인 시 열기", "ログイン時に開く", "登录时打开",
      "Abrir al iniciar sesión"}},
    {L10nKey::launchAtLoginFailed,
     {"Could not update login item: %@", "로그인 항목을 업데이트할 수 없습니다: %@",
      "ログイン項目を更新できませんでした: %@", "无法更新登录项: %@",
      "No se pudo actualizar el ítem de inicio de sesión: %@"}},
    {L10nKey::launchAtLoginRequiresApproval,
     {"Approve Aerivo Mac in System Settings > General > Login Items.",
      "시스템 설정 > 일반 > 로그인 항목에서 Aerivo Mac을 승인하세요.",
      "システム設定 > 一般 > ログイン項目で Aerivo Mac を許可してください。",
      "请在“系统设置 > 通用 > 登录项”中批准 Aerivo Mac。",
      "Aprueba Aerivo Mac en Ajustes del Sistema > General > Ítems de inicio de sesión."}},
    {L10nKey::maximum, {"Maximum", "최대", "最大", "最大值", "Máximo"}},
    {L10nKey::minimum, {"Minimum", "최소", "最小", "最小值", "Mínimo"}},
    {L10nKey::mockTemp, {"Mock Temp", "모의 온도", "模擬温度", "模拟温度", "Temp. simulada"}},
    {L10nKey::mockTemperature,
     {"Mock temperature", "모의 온도", "模擬温度", "模拟温度", "Temperatura simulada"}},
    {L10nKey::mode, {"Mode", "모드", "モード", "模式", "Modo"}},
    {L10nKey::noFan, {"No fan", "팬 없음", "ファンなし", "无风扇", "Sin ventilador"}},
    {L10nKey::none, {"None", "없음", "なし", "无", "Ninguno"}},
    {L10nKey::openCurveEditor,
     {"Open Curve Editor", "커브 편집기 열기", "カーブエディタを開く", "打开曲线编辑器",
      "Abrir editor de curva"}},
    {L10nKey::openUpdatePage,
     {"Open Update Page", "업데이트 페이지 열기", "アップデートページを開く", "打开更新页面",
      "Abrir página de actualización"}},
    {L10nKey::pointEditorSubtitle,
     {"Values are clamped to the hardware range and neighboring points.",
      "값은 하드웨어 범위와 인접한 포인트 사이로 제한됩니다.",
      "値はハードウェア範囲と隣接するポイントの間に制限されます。",
      "数值会被限制在硬件范围和相邻点之间。",
      "Los valores se limitan al rango del hardware y a los puntos vecinos."}},
    {L10nKey::pointEditorTitle,
     {"Edit Curve Point", "커브 포인트 편집", "カーブのポイントを編集", "编辑曲线点",
      "Editar punto de la curva"}},
    {L10nKey::presets, {"Presets", "프리셋", "プリセット", "预设", "Preajustes"}},
    {L10nKey::quitAerivoMac,
     {"Quit Aerivo Mac", "Aerivo Mac 종료", "Aerivo Mac を終了", "退出 Aerivo Mac",
      "Salir de Aerivo Mac"}},
    {L10nKey::range, {"Range: %@", "범위: %@", "範囲: %@", "范围: %@", "Rango: %@"}},
    {L10nKey::readOnlyAdminDetect,
     {"Read-only Admin Detect", "관리자 권한으로 감지(읽기 전용)",
      "管理者権限で検出（読み取り専用）", "以管理员身份检测（只读）",
      "Detectar como administrador (solo lectura)"}},
    {L10nKey::removePoint,
     {"Remove Point", "포인트 삭제", "ポイントを削除", "删除点", "Eliminar punto"}},
    {L10nKey::resetToSystem,
     {"Reset to System", "시스템 제어로 복원", "システム制御に戻す", "恢复系统控制",
      "Restablecer al sistema"}},
    {L10nKey::rpm, {"RPM", "RPM", "RPM", "RPM", "RPM"}},
    {L10nKey::safetyLimit,
     {"Safety limit", "안전 한계", "安全上限", "安全上限", "Límite de seguridad"}},
    {L10nKey::save, {"Save", "저장", "保存", "保存", "Guardar"}},
    {L10nKey::showWriteRequirements,
     {"Show Write Requirements", "쓰기 요구 사항 보기", "書き込み要件を表示", "显示写入要求",
      "Mostrar requisitos de escritura"}},
    {L10nKey::simRPM, {"Sim RPM", "모의 RPM", "模擬 RPM", "模拟 RPM", "RPM simuladas"}},
    {L10nKey::simulatedFan,
     {"Simulated fan", "모의 팬", "模擬ファン", "模拟风扇", "Ventilador simulado"}},
    {L10nKey::temperature, {"Temperature", "온도", "温度", "温度", "Temperatura"}},
    {L10nKey::temperatureAxis,
     {"Temperature Axis", "온도 축", "温度軸", "温度轴", "Eje de temperatura"}},
    {L10nKey::testCurveTarget,
     {"Test Curve Target for 5s", "커브 목표 5초 테스트", "カーブの目標を5秒間テスト",
      "测试曲线目标 5 秒", "Probar objetivo de la curva durante 5 s"}},
    {L10nKey::thermalWindow,
     {"Temp range", "온도 기록 기간", "温度履歴の期間", "温度历史时段", "Periodo de temperatura"}},
    {L10nKey::unsupported, {"Unsupported", "지원되지 않음", "非対応", "不支持", "No compatible"}},
    {L10nKey::upToDate,
     {"Aerivo Mac is up to date (%@).", "Aerivo Mac이 최신 버전입니다 (%@).",
      "Aerivo Mac は最新です（%@）。", "Aerivo Mac 已是最新版本 (%@)。",
      "Aerivo Mac está actualizado (%@)."}},
    {L10nKey::updateAvailable,
     {"Update available: %@ (current %@).", "업데이트 가능: %@ (현재 %@).",
      "アップデートがあります: %@（現在 %@）。", "有可用更新: %@ (当前 %@)。",
      "Actualización disponible: %@ (actual %@)."}},
    {L10nKey::updateCheckFailed,
     {"Could not check for updates: %@", "업데이트를 확인할 수 없습니다: %@",
      "アップデートを確認できませんでした: %@", "无法检查更新: %@",
      "No se pudieron buscar actualizaciones: %@"}},
    {L10nKey::updateCheckUnavailable,
     {"Update source is not configured yet.", "업데이트 소스가 아직 구성되지 않았습니다.",
      "アップデートの取得元がまだ設定されていません。", "尚未配置更新源。",
      "El origen de actualizaciones aún no está configurado."}},
    {L10nKey::updateHelper,
     {"Update Fan Control Helper", "팬 제어 헬퍼 업데이트", "ファン制御ヘルパーをアップデート",
      "更新风扇控制辅助程序", "Actualizar auxiliar de control del ventilador"}},
    {L10nKey::useHardwareRange,
     {"Use Hardware Range", "하드웨어 범위 사용", "ハードウェア範囲を使用", "使用硬件范围",
      "Usar rango del hardware"}},
    {L10nKey::writePath,
     {"Write path", "쓰기 경로", "書き込み経路", "写入路径", "Ruta de escritura"}},
    {L10nKey::systemMode, {"System", "시스템", "システム", "系统", "Sistema"}},
    {L10nKey::curveMode, {"Curve", "커브", "カーブ", "曲线", "Curva"}},
    {L10nKey::safetyMode, {"Safety", "안전", "安全", "安全", "Seguridad"}},
    {L10nKey::currentTargetAnnotation,
     {"now -> %@", "현재 -> %@", "現在 -> %@", "当前 -> %@", "ahora -> %@"}},
    {L10nKey::systemModeDescription,
     {"macOS controls the fan", "macOS가 팬을 제어합니다", "macOS がファンを制御します",
      "由 macOS 控制风扇", "macOS controla el ventilador"}},
    {L10nKey::curveModeDescription,
     {"Controlling the fan with the edited curve", "편집한 커브로 팬을 제어하는 중",
      "編集したカーブでファンを制御中", "正在按编辑后的曲线控制风扇",
      "Controlando el ventilador con la curva editada"}},
    {L10nKey::safetyModeDescription,
     {"Requesting maximum RPM at the safety limit", "안전 한계에서 최대 RPM 요청 중",
      "安全上限で最大 RPM を要求中", "已达安全上限，正在请求最大 RPM",
      "Solicitando las RPM máximas en el límite de seguridad"}},
    {L10nKey::linkedTarget,
     {"Linked target %@: %@", "연동 목표 %@: %@", "連動目標 %@: %@", "联动目标 %@: %@",
      "Objetivo vinculado %@: %@"}},
    {L10nKey::linkedPreview,
     {"Linked preview %@: %@", "연동 미리보기 %@: %@", "連動プレビュー %@: %@", "联动预览 %@: %@",
      "Vista previa vinculada %@: %@"}},
    {L10nKey::fanlessUnsupported,
     {"Fanless MacBook Air is unsupported", "팬이 없는 MacBook Air는 지원되지 않습니다",
      "ファンのない MacBook Air には対応していません", "不支持无风扇的 MacBook Air",
      "El MacBook Air sin ventilador no es compatible"}},
    {L10nKey::hardwareRPMUnavailable,
     {"Hardware RPM unavailable", "하드웨어 RPM을 읽을 수 없음",
      "ハードウェアの RPM を取得できません", "无法读取硬件 RPM",
      "RPM del hardware no disponibles"}},
    {L10nKey::appliedDetectedRange,
     {"Applied the detected RPM range.", "감지된 RPM 범위를 적용했습니다.",
      "検出された RPM 範囲を適用しました。", "已应用检测到的 RPM 范围。",
      "Se aplicó el rango de RPM detectado."}},
    {L10nKey::waitingForAdministratorApproval,
     {"Waiting for administrator approval...", "관리자 승인을 기다리는 중...",
      "管理者の承認を待っています...", "正在等待管理员批准...",
      "Esperando la aprobación del administrador..."}},
    {L10nKey::appExecutableNotFound,
     {"Could not locate the app executable.", "앱 실행 파일을 찾을 수 없습니다.",
      "アプリの実行ファイルが見つかりませんでした。", "找不到应用的可执行文件。",
      "No se encontró el ejecutable de la app."}},
    {L10nKey::adminProbeFailed,
     {"Admin probe was canceled or failed.", "관리자 감지가 취소되었거나 실패했습니다.",
      "管理者権限での検出はキャンセルされたか、失敗しました。", "管理员检测已取消或失败。",
      "La detección como administrador se canceló o falló."}},
    {L10nKey::adminProbeUnreadable,
     {"Admin probe returned an unreadable response.", "관리자 감지 결과를 읽을 수 없습니다.",
      "管理者権限での検出から読み取れない応答が返されました。", "管理员检测返回了无法读取的响应。",
      "La detección como administrador devolvió una respuesta ilegible."}},
    {L10nKey::adminProbeAppliedRange,
     {"Admin probe applied the detected RPM range.",
      "관리자 감지로 확인한 RPM 범위를 적용했습니다.",
      "管理者権限での検出で得た RPM 範囲を適用しました。", "已应用管理员检测到的 RPM 范围。",
      "Se aplicó el rango de RPM detectado como administrador."}},
    {L10nKey::adminProbeAppliedRangeWithoutReadback,
     {"Admin probe applied RPM range; live RPM readback is still unavailable.",
      "관리자 감지로 RPM 범위를 적용했지만 실시간 RPM은 아직 읽을 수 없습니다.",
      "管理者権限での検出で RPM 範囲を適用しましたが、リアルタイムの RPM はまだ取得できません。",
      "已通过管理员检测应用 RPM 范围；仍无法读取实时 RPM。",
      "Se aplicó el rango de RPM detectado como administrador; la lectura de RPM en vivo sigue "
      "sin estar disponible."}},
    {L10nKey::adminProbeNoRPMKeys,
     {"Admin probe could not read fan RPM keys.", "관리자 감지로 팬 RPM 키를 읽을 수 없었습니다.",
      "管理者権限での検出ではファンの RPM キーを読み取れませんでした。",
      "管理员检测无法读取风扇 RPM 键。",
      "La detección como administrador no pudo leer las claves de RPM del ventilador."}},
    {L10nKey::profileSaveFailed,
     {"Could not save the curve: %@", "커브를 저장할 수 없습니다: %@",
      "カーブを保存できませんでした: %@", "无法保存曲线: %@", "No se pudo guardar la curva: %@"}},
    {L10nKey::aboutAerivoMac,
     {"About Aerivo Mac", "Aerivo Mac 정보", "Aerivo Mac について", "关于 Aerivo Mac",
      "Acerca de Aerivo Mac"}},
    {L10nKey::checkingHelper,
     {"Checking helper...", "헬퍼 확인 중...", "ヘルパーを確認中...", "正在检查辅助程序...",
      "Comprobando el auxiliar..."}},
}};

constexpr bool rowsFollowDeclarationOrder() {
    for (std::size_t index = 0; index < rows.size(); ++index) {
        if (rows[index].key != allL10nKeys[index]) {
            return false;
        }
    }
    return true;
}
static_assert(rowsFollowDeclarationOrder(), "one row per key, in declaration order");

Translations buildTranslations() {
    Translations table;
    for (std::size_t column = 0; column < allAppLanguages.size(); ++column) {
        LanguageTable& language = table[allAppLanguages[column]];
        for (const Row& row : rows) {
            language.emplace(row.key, std::string(row.texts[column]));
        }
    }
    return table;
}

} // namespace

const Translations& translations() {
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const Translations table = buildTranslations();
    return table;
}

std::string text(const Translations& table, L10nKey key, AppLanguage language) {
    const auto lookup = [&](AppLanguage in) -> const std::string* {
        const auto languageTable = table.find(in);
        if (languageTable == table.end()) {
            return nullptr;
        }
        const auto entry = languageTable->second.find(key);
        return entry == languageTable->second.end() ? nullptr : &entry->second;
    };
    if (const std::string* found = lookup(language)) {
        return *found;
    }
    if (const std::string* english = lookup(AppLanguage::english)) {
        return *english;
    }
    return std::string(rawValue(key));
}

std::string text(L10nKey key, AppLanguage language) {
    return text(translations(), key, language);
}

std::string formatText(std::string_view format, std::span<const std::string_view> arguments) {
    std::string result;
    result.reserve(format.size());
    std::size_t nextArgument = 0;
    std::size_t index = 0;
    while (index < format.size()) {
        const char character = format[index];
        if (character != '%' || index + 1 >= format.size()) {
            result += character; // ordinary text, or a "%" that ends the format
            ++index;
            continue;
        }
        const char directive = format[index + 1];
        if (directive == '@') {
            if (nextArgument < arguments.size()) {
                result += arguments[nextArgument++];
            } else {
                result += "%@"; // no argument left: the placeholder stays visible
            }
            index += 2;
        } else if (directive == '%') {
            result += '%';
            index += 2;
        } else {
            result += '%'; // not a directive this formatter knows: copied unchanged
            ++index;
        }
    }
    return result;
}

std::string formatArguments(L10nKey key, AppLanguage language,
                            std::span<const std::string_view> arguments) {
    return formatText(text(key, language), arguments);
}

std::string format(L10nKey key, AppLanguage language, const std::vector<std::string>& arguments) {
    std::vector<std::string_view> views(arguments.begin(), arguments.end());
    return formatArguments(key, language, views);
}

} // namespace aerivo::L10n
