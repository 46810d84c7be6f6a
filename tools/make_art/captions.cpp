#include "tools/make_art/captions.h"

#include <vector>

const std::vector<captions_s>& caption_table() {
  static const QString latin = QStringLiteral("Liberation Sans");
  static const std::vector<captions_s> table = {
      {"en", latin, "File Recovery", "Partition Recovery", "Deep Scan", "Start Scan",
       "Find and recover deleted files", "Resume Recovery", "Open a saved scan result"},
      {"de", latin, "Dateien wiederherstellen", "Partitionen wiederherstellen", "Tiefensuche",
       "Scan starten", "Gelöschte Dateien finden und retten", "Wiederherstellung fortsetzen",
       "Gespeichertes Scanergebnis öffnen"},
      {"fr", latin, "Récupération de fichiers", "Récupération de partitions", "Analyse approfondie",
       "Lancer l'analyse", "Retrouver les fichiers supprimés", "Reprendre la récupération",
       "Ouvrir une analyse enregistrée"},
      {"es", latin, "Recuperación de archivos", "Recuperación de particiones", "Análisis profundo",
       "Iniciar análisis", "Buscar y recuperar archivos eliminados", "Reanudar recuperación",
       "Abrir un análisis guardado"},
      {"it", latin, "Recupero file", "Recupero partizioni", "Scansione approfondita",
       "Avvia scansione", "Trova e recupera i file eliminati", "Riprendi recupero",
       "Apri una scansione salvata"},
      {"pt", latin, "Recuperação de arquivos", "Recuperação de partições", "Análise profunda",
       "Iniciar análise", "Encontrar e recuperar arquivos excluídos", "Retomar recuperação",
       "Abrir uma análise salva"},
      {"nl", latin, "Bestandsherstel", "Partitieherstel", "Diepe scan", "Scan starten",
       "Verwijderde bestanden terughalen", "Herstel hervatten", "Een opgeslagen scan openen"},
      {"jp", "Noto Sans CJK JP", "ファイル復元", "パーティション|復元", "ディープ|スキャン",
       "スキャン開始", "削除したファイルを|探して復元", "復元を再開",
       "保存した|スキャン結果を開く"},
      {"cn", "Noto Sans CJK SC", "文件恢复", "分区恢复", "深度扫描", "开始扫描",
       "查找并恢复已删除的文件", "继续恢复", "打开已保存的扫描结果"},
      {"hk", "Noto Sans CJK TC", "檔案復原", "分割區|復原", "深度掃描", "開始掃描",
       "尋找並復原已刪除的檔案", "繼續復原", "開啟已儲存的掃描結果"},
  };
  return table;
}
