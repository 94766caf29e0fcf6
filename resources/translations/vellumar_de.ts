<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>TfrmAbout</name>
    <message>
        <source>About Vellumar</source>
        <translation>Über Vellumar</translation>
    </message>
    <message>
        <source>Vellumar online</source>
        <translation>Vellumar im Netz</translation>
    </message>
    <message>
        <source>Resizes, renames and captions JPEG photos for publishing.</source>
        <translation>Verkleinert, benennt und beschriftet JPEG-Fotos für die Veröffentlichung.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Source Image Folder:</source>
        <translation>Quellordner der Bilder:</translation>
    </message>
    <message>
        <source>Choose Source Folder...</source>
        <translation>Quellordner wählen …</translation>
    </message>
    <message>
        <source>Destination Image Folder:</source>
        <translation>Zielordner der Bilder:</translation>
    </message>
    <message>
        <source>Choose Destination Folder...</source>
        <translation>Zielordner wählen …</translation>
    </message>
    <message>
        <source>Reduce image size by:</source>
        <translation>Bildgröße verkleinern um:</translation>
    </message>
    <message>
        <source> % </source>
        <translation> % </translation>
    </message>
    <message>
        <source>...</source>
        <translation>…</translation>
    </message>
    <message>
        <source>Output options: the filter, and the size by percent, long edge or fit</source>
        <translation>Ausgabeoptionen: der Filter und die Größe nach Prozent, langer Seite oder Einpassen</translation>
    </message>
    <message>
        <source>Output options</source>
        <translation>Ausgabeoptionen</translation>
    </message>
    <message>
        <source>Output Quality: </source>
        <translation>Qualität: </translation>
    </message>
    <message>
        <source>Rename Image:</source>
        <translation>Bild umbenennen:</translation>
    </message>
    <message>
        <source>Stem Prefix:</source>
        <translation>Präfix:</translation>
    </message>
    <message>
        <source>Number from:</source>
        <translation>Nummer ab:</translation>
    </message>
    <message>
        <source>Padding:</source>
        <translation>Auffüllen:</translation>
    </message>
    <message>
        <source>Stem Suffix:</source>
        <translation>Suffix:</translation>
    </message>
    <message>
        <source>Sample:</source>
        <translation>Beispiel:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Save the settings as a preset, load one, or start with the last used settings</source>
        <translation>Die Einstellungen als Vorlage speichern, eine laden oder mit den zuletzt verwendeten Einstellungen starten</translation>
    </message>
    <message>
        <source>Presets</source>
        <translation>Vorlagen</translation>
    </message>
    <message>
        <source>Add Text Overlay</source>
        <translation>Text einblenden</translation>
    </message>
    <message>
        <source>Text Overlay...</source>
        <translation>Texteinblendung …</translation>
    </message>
    <message>
        <source>Turn every reduced or overlaid photo as the camera&apos;s orientation tag says</source>
        <translation>Jedes verkleinerte oder beschriftete Foto so drehen, wie es die Ausrichtungsangabe der Kamera sagt</translation>
    </message>
    <message>
        <source>Rotate upright</source>
        <translation>Aufrecht drehen</translation>
    </message>
    <message>
        <source>Metadata:</source>
        <translation>Metadaten:</translation>
    </message>
    <message>
        <source>What a reduced or overlaid photo keeps of the camera data (its colour profile is always kept)</source>
        <translation>Was ein verkleinertes oder beschriftetes Foto von den Kameradaten behält (sein Farbprofil bleibt immer erhalten)</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Behalten</translation>
    </message>
    <message>
        <source>Keep, without GPS</source>
        <translation>Behalten, ohne GPS</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Clear Status Window</source>
        <translation>Statusfenster leeren</translation>
    </message>
    <message>
        <source>Save Status Report...</source>
        <translation>Statusbericht speichern …</translation>
    </message>
    <message>
        <source>About Vellumar...</source>
        <translation>Über Vellumar …</translation>
    </message>
    <message>
        <source>What Start would write, photo by photo, writing nothing</source>
        <translation>Was Start schreiben würde, Foto für Foto, ohne etwas zu schreiben</translation>
    </message>
    <message>
        <source>Plan...</source>
        <translation>Plan …</translation>
    </message>
    <message>
        <source>The selected photo&apos;s real output and its size</source>
        <translation>Die tatsächliche Ausgabe des gewählten Fotos und ihre Größe</translation>
    </message>
    <message>
        <source>Preview...</source>
        <translation>Vorschau …</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Choose Source Folder</source>
        <translation>Quellordner wählen</translation>
    </message>
    <message>
        <source>Source photos</source>
        <translation>Quellfotos</translation>
    </message>
    <message>
        <source>Also list the photos of the subfolders (not hidden ones, not links), shown by their paths; each is written to the same subfolder of the destination</source>
        <translation>Auch die Fotos der Unterordner auflisten (keine versteckten, keine Verknüpfungen), mit ihren Pfaden; jedes wird in denselben Unterordner des Zielordners geschrieben</translation>
    </message>
    <message>
        <source>Include s&amp;ubfolders</source>
        <translation>&amp;Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Choose Destination Folder</source>
        <translation>Zielordner wählen</translation>
    </message>
    <message>
        <source>Reduce image size to:</source>
        <translation>Bildgröße verkleinern auf:</translation>
    </message>
    <message>
        <source>Reduce by percent</source>
        <translation>Um Prozent verkleinern</translation>
    </message>
    <message>
        <source>With the overlay: quality %1</source>
        <translation>Mit Overlay: Qualität %1</translation>
    </message>
    <message>
        <source>Photos that get the text overlay are written at this quality instead (Output Options, &quot;Quality with overlay&quot;)</source>
        <translation>Fotos mit Text-Overlay werden stattdessen in dieser Qualität geschrieben (Ausgabeoptionen, „Qualität mit Overlay“)</translation>
    </message>
    <message>
        <source>QToolButton:focus { border: 2px solid palette(highlight); border-radius: 3px; }</source>
        <translation>QToolButton:focus { border: 2px solid palette(highlight); border-radius: 3px; }</translation>
    </message>
    <message>
        <source>Save Status Report</source>
        <translation>Statusbericht speichern</translation>
    </message>
    <message>
        <source>Status log</source>
        <translation>Statusprotokoll</translation>
    </message>
    <message>
        <source>About Vellumar</source>
        <translation>Über Vellumar</translation>
    </message>
    <message>
        <source>Long edge: %1 px</source>
        <translation>Lange Kante: %1 px</translation>
    </message>
    <message>
        <source>Fit: %1 x %2 px</source>
        <translation>Einpassen: %1 x %2 px</translation>
    </message>
</context>
<context>
    <name>TfrmOutputOptions</name>
    <message>
        <source>Output Options</source>
        <translation>Ausgabeoptionen</translation>
    </message>
    <message>
        <source>&amp;Filter:</source>
        <translation>&amp;Filter:</translation>
    </message>
    <message>
        <source>Nearest keeps one source pixel for each pixel written, exactly as before. Smooth filters the picture first: no jagged lines or moiré, about the time of nearest.</source>
        <translation>Nächster Nachbar nimmt für jedes geschriebene Pixel ein Quellpixel, genau wie bisher. Glatt filtert das Bild zuerst: keine gezackten Linien und kein Moiré, etwa so schnell wie Nächster Nachbar.</translation>
    </message>
    <message>
        <source>Nearest (exact)</source>
        <translation>Nächster Nachbar (exakt)</translation>
    </message>
    <message>
        <source>Smooth (filtered)</source>
        <translation>Glatt (gefiltert)</translation>
    </message>
    <message>
        <source>&amp;Reduce to:</source>
        <translation>&amp;Verkleinern auf:</translation>
    </message>
    <message>
        <source>Percent: the percentage in the main window. Long edge or fit: a size in pixels, the aspect kept; a photo that is small enough already is written again at its own size.</source>
        <translation>Prozent: der Prozentsatz im Hauptfenster. Lange Seite oder Einpassen: eine Größe in Pixeln, das Seitenverhältnis bleibt erhalten; ein Foto, das schon klein genug ist, wird in seiner eigenen Größe neu geschrieben.</translation>
    </message>
    <message>
        <source>Percent</source>
        <translation>Prozent</translation>
    </message>
    <message>
        <source>Long edge</source>
        <translation>Lange Seite</translation>
    </message>
    <message>
        <source>Fit inside</source>
        <translation>Einpassen in</translation>
    </message>
    <message>
        <source>&amp;Long edge:</source>
        <translation>&amp;Lange Seite:</translation>
    </message>
    <message>
        <source>The longer side of every photo, in pixels</source>
        <translation>Die längere Seite jedes Fotos, in Pixeln</translation>
    </message>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>F&amp;it inside:</source>
        <translation>E&amp;inpassen in:</translation>
    </message>
    <message>
        <source>The largest width, in pixels</source>
        <translation>Die größte Breite, in Pixeln</translation>
    </message>
    <message>
        <source>The largest height, in pixels</source>
        <translation>Die größte Höhe, in Pixeln</translation>
    </message>
    <message>
        <source>Fit inside height</source>
        <translation>Einpassen in die Höhe</translation>
    </message>
    <message>
        <source>&amp;Quality with overlay:</source>
        <translation>&amp;Qualität mit Overlay:</translation>
    </message>
    <message>
        <source>The JPEG quality of every photo that gets the text overlay: the overlay is encoded last, so this replaces the output quality for those photos</source>
        <translation>Die JPEG-Qualität jedes Fotos mit Text-Overlay: das Overlay wird zuletzt kodiert, daher ersetzt dies für diese Fotos die Ausgabequalität</translation>
    </message>
    <message>
        <source>Convert colours to sRGB</source>
        <translation>Farben nach sRGB umwandeln</translation>
    </message>
    <message>
        <source>Photos with a wider colour profile (Adobe RGB, Display P3) are converted to sRGB, for sites that drop profiles</source>
        <translation>Fotos mit einem größeren Farbprofil (Adobe RGB, Display P3) werden nach sRGB umgewandelt, für Seiten, die Profile entfernen</translation>
    </message>
    <message>
        <source>&amp;Existing files:</source>
        <translation>&amp;Vorhandene Dateien:</translation>
    </message>
    <message>
        <source>What to do where a photo&apos;s output is in the destination already. Skip leaves it untouched (to resume a run); rename writes NAME-2.jpg, NAME-3.jpg ... beside it.</source>
        <translation>Was geschieht, wenn die Ausgabe eines Fotos schon im Zielordner liegt. Überspringen lässt sie unberührt (um einen Lauf fortzusetzen); Umbenennen schreibt NAME-2.jpg, NAME-3.jpg ... daneben.</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Rename the new file</source>
        <translation>Neue Datei umbenennen</translation>
    </message>
    <message>
        <source>&amp;Coding:</source>
        <translation>&amp;Kodierung:</translation>
    </message>
    <message>
        <source>Optimized and progressive files are a few per cent smaller and decode to exactly the same pixels. A plain copy keeps its bytes.</source>
        <translation>Optimierte und progressive Dateien sind einige Prozent kleiner und ergeben beim Dekodieren genau dieselben Pixel. Eine einfache Kopie behält ihre Bytes.</translation>
    </message>
    <message>
        <source>Baseline</source>
        <translation>Baseline</translation>
    </message>
    <message>
        <source>Optimized</source>
        <translation>Optimiert</translation>
    </message>
    <message>
        <source>Progressive</source>
        <translation>Progressiv</translation>
    </message>
    <message>
        <source>&amp;Max file size:</source>
        <translation>&amp;Höchste Dateigröße:</translation>
    </message>
    <message>
        <source>Each output is written at the highest quality that keeps it within this size; the quality and the overlay&apos;s 90 give way. Off: the quality holds.</source>
        <translation>Jede Ausgabe wird in der höchsten Qualität geschrieben, mit der sie in diese Größe passt; die Qualität und die 90 des Overlays treten zurück. Aus: die Qualität gilt.</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source> KiB</source>
        <translation> KiB</translation>
    </message>
    <message>
        <source>m&amp;inimum quality:</source>
        <translation>M&amp;indestqualität:</translation>
    </message>
    <message>
        <source>A photo that does not fit even at this quality fails</source>
        <translation>Ein Foto, das selbst in dieser Qualität nicht passt, schlägt fehl</translation>
    </message>
    <message>
        <source>&amp;Name template:</source>
        <translation>&amp;Namensvorlage:</translation>
    </message>
    <message>
        <source>When renaming, names from tokens instead of prefix and suffix: {name} {n} {date} {time} {camera} {w} {h}; .jpg is added. Empty: prefix, number and suffix.</source>
        <translation>Beim Umbenennen Namen aus Platzhaltern statt Präfix und Suffix: {name} {n} {date} {time} {camera} {w} {h}; .jpg wird angehängt. Leer: Präfix, Nummer und Suffix.</translation>
    </message>
    <message>
        <source>{date}_{n}</source>
        <translation>{date}_{n}</translation>
    </message>
    <message>
        <source>Sample:</source>
        <translation>Beispiel:</translation>
    </message>
    <message>
        <source>Off, braces in the overlay text are drawn as typed</source>
        <translation>Aus: geschweifte Klammern im Overlay-Text werden wie eingegeben gezeichnet</translation>
    </message>
    <message>
        <source>Overlay text &amp;uses the tokens</source>
        <translation>Overlay-Text &amp;verwendet die Platzhalter</translation>
    </message>
    <message>
        <source>&amp;Variants:</source>
        <translation>&amp;Varianten:</translation>
    </message>
    <message>
        <source>One more output of every photo a line, NAME=SIZE or NAME=SIZE@QUALITY (thumbs=400, web=800x600@80): written into the folder NAME of the destination, smooth, with the same name and overlay</source>
        <translation>Eine weitere Ausgabe jedes Fotos pro Zeile, NAME=GRÖSSE oder NAME=GRÖSSE@QUALITÄT (thumbs=400, web=800x600@80): in den Ordner NAME des Zielordners geschrieben, geglättet, mit demselben Namen und Overlay</translation>
    </message>
    <message>
        <source>thumbs=400</source>
        <translation>thumbs=400</translation>
    </message>
    <message>
        <source>color: #b00000</source>
        <translation>color: #b00000</translation>
    </message>
</context>
<context>
    <name>TfrmOverlayDlg</name>
    <message>
        <source>Text Overlay</source>
        <translation>Texteinblendung</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Schrift</translation>
    </message>
    <message>
        <source>Font Size</source>
        <translation>Schriftgröße</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Groß</translation>
    </message>
    <message>
        <source>Larger</source>
        <translation>Größer</translation>
    </message>
    <message>
        <source>Largest</source>
        <translation>Am größten</translation>
    </message>
    <message>
        <source>Font Colour:</source>
        <translation>Schriftfarbe:</translation>
    </message>
    <message>
        <source>Text Position</source>
        <translation>Textposition</translation>
    </message>
    <message>
        <source>Top Left</source>
        <translation>Oben links</translation>
    </message>
    <message>
        <source>Top Center</source>
        <translation>Oben Mitte</translation>
    </message>
    <message>
        <source>Top Right</source>
        <translation>Oben rechts</translation>
    </message>
    <message>
        <source>Centre Left</source>
        <translation>Mitte links</translation>
    </message>
    <message>
        <source>Centre</source>
        <translation>Mitte</translation>
    </message>
    <message>
        <source>Centre Right</source>
        <translation>Mitte rechts</translation>
    </message>
    <message>
        <source>Bottom Left</source>
        <translation>Unten links</translation>
    </message>
    <message>
        <source>Bottom Centre</source>
        <translation>Unten Mitte</translation>
    </message>
    <message>
        <source>Bottom Right</source>
        <translation>Unten rechts</translation>
    </message>
    <message>
        <source>Text:</source>
        <translation>Text:</translation>
    </message>
    <message>
        <source>Bold</source>
        <translation>Fett</translation>
    </message>
    <message>
        <source>Italic</source>
        <translation>Kursiv</translation>
    </message>
    <message>
        <source>Load sample image...</source>
        <translation>Beispielbild laden …</translation>
    </message>
    <message>
        <source>Note that this sample gives an approximate rendition of the  final image</source>
        <translation>Dieses Beispiel zeigt das fertige Bild nur ungefähr</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TfrmPlan</name>
    <message>
        <source>Plan</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Source size</source>
        <translation>Quellgröße</translation>
    </message>
    <message>
        <source>Planned size</source>
        <translation>Geplante Größe</translation>
    </message>
    <message>
        <source>Replaces</source>
        <translation>Ersetzt</translation>
    </message>
    <message>
        <source>Start would refuse this run, writing nothing:</source>
        <translation>Start würde diesen Lauf ablehnen und nichts schreiben:</translation>
    </message>
    <message>
        <source>Planned photos</source>
        <translation>Geplante Fotos</translation>
    </message>
    <message>
        <source>Clashes</source>
        <translation>Konflikte</translation>
    </message>
</context>
<context>
    <name>TfrmPreview</name>
    <message>
        <source>Output Preview</source>
        <translation>Ausgabevorschau</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Output, as Start would write it</source>
        <translation>Ausgabe, wie Start sie schreiben würde</translation>
    </message>
    <message>
        <source>Select a photo in the source list.</source>
        <translation>Wählen Sie ein Foto in der Quellliste.</translation>
    </message>
    <message>
        <source>&amp;Fit</source>
        <translation>&amp;Einpassen</translation>
    </message>
    <message>
        <source>The whole photo in the window, both sides at the same scale</source>
        <translation>Das ganze Foto im Fenster, beide Seiten im selben Maßstab</translation>
    </message>
    <message>
        <source>&amp;100 %</source>
        <translation>&amp;100 %</translation>
    </message>
    <message>
        <source>One output pixel to a screen pixel; drag either side to pan both</source>
        <translation>Ein Ausgabepixel auf ein Bildschirmpixel; eine Seite ziehen verschiebt beide</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>The previous photo of the source list (Page Up)</source>
        <translation>Das vorige Foto der Quellliste (Bild auf)</translation>
    </message>
    <message>
        <source>PgUp</source>
        <translation>PgUp</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>The next photo of the source list (Page Down)</source>
        <translation>Das nächste Foto der Quellliste (Bild ab)</translation>
    </message>
    <message>
        <source>PgDown</source>
        <translation>PgDown</translation>
    </message>
    <message>
        <source>Source picture</source>
        <translation>Quellbild</translation>
    </message>
    <message>
        <source>Output picture</source>
        <translation>Ausgabebild</translation>
    </message>
    <message>
        <source>Photo and output</source>
        <translation>Foto und Ausgabe</translation>
    </message>
    <message>
        <source>Estimate for the whole run</source>
        <translation>Schätzung für den ganzen Lauf</translation>
    </message>
</context>
<context>
    <name>vellumar::TSampleFileDialog</name>
    <message>
        <source>Select Sample Image</source>
        <translation>Beispielbild wählen</translation>
    </message>
    <message>
        <source>JPEG or Bitmap (*.jpg *.jpeg *.bmp);;JPEG Image File (*.jpg *.jpeg);;Bitmaps (*.bmp)</source>
        <translation>JPEG oder Bitmap (*.jpg *.jpeg *.bmp);;JPEG-Bilddatei (*.jpg *.jpeg);;Bitmaps (*.bmp)</translation>
    </message>
    <message>
        <source>Picture preview</source>
        <translation>Bildvorschau</translation>
    </message>
    <message>
        <source>No preview</source>
        <translation>Keine Vorschau</translation>
    </message>
</context>
<context>
    <name>vellumar::TfrmMain</name>
    <message>
        <source>No destination folder is chosen</source>
        <translation>Es ist kein Zielordner gewählt</translation>
    </message>
    <message>
        <source>The report was not saved: %1</source>
        <translation>Der Bericht wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>There is no run to report yet: press Start first.</source>
        <translation>Es gibt noch keinen Lauf für einen Bericht: drücken Sie zuerst Start.</translation>
    </message>
    <message>
        <source>Select a photo in the source list.</source>
        <translation>Wählen Sie ein Foto in der Quellliste.</translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation>Speichern unter …</translation>
    </message>
    <message>
        <source>Last used</source>
        <translation>Zuletzt verwendet</translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>Importieren …</translation>
    </message>
    <message>
        <source>Export...</source>
        <translation>Exportieren …</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Delete the preset &quot;%1&quot;?</source>
        <translation>Die Vorlage „%1“ löschen?</translation>
    </message>
    <message>
        <source>Start with the last used settings</source>
        <translation>Mit den zuletzt verwendeten Einstellungen starten</translation>
    </message>
    <message>
        <source>Reset to defaults</source>
        <translation>Auf Standardwerte zurücksetzen</translation>
    </message>
    <message>
        <source>A preset named &quot;%1&quot; exists. Replace it?</source>
        <translation>Eine Vorlage namens „%1“ gibt es schon. Ersetzen?</translation>
    </message>
    <message>
        <source>The preset was not saved: %1</source>
        <translation>Die Vorlage wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>Save Preset As</source>
        <translation>Vorlage speichern unter</translation>
    </message>
    <message>
        <source>Name of the preset:</source>
        <translation>Name der Vorlage:</translation>
    </message>
    <message>
        <source>Export Preset</source>
        <translation>Vorlage exportieren</translation>
    </message>
    <message>
        <source>Import Preset</source>
        <translation>Vorlage importieren</translation>
    </message>
    <message>
        <source>Preset (*.json)</source>
        <translation>Vorlage (*.json)</translation>
    </message>
    <message>
        <source>Save Report As...</source>
        <translation>Bericht speichern unter …</translation>
    </message>
    <message>
        <source>Text File (*.txt);;Report as JSON (*.json);;Report as CSV (*.csv)</source>
        <translation>Textdatei (*.txt);;Bericht als JSON (*.json);;Bericht als CSV (*.csv)</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Output options: the filter, the size by percent, long edge or fit (now: %1), the quality with the overlay, what to do with existing files (now: %2), the colours, the coding, a size cap, a name template and variants</source>
        <translation>Ausgabeoptionen: der Filter, die Größe in Prozent, lange Kante oder Einpassen (jetzt: %1), die Qualität mit Overlay, was mit vorhandenen Dateien geschieht (jetzt: %2), die Farben, die Kodierung, eine Größengrenze, eine Namensvorlage und Varianten</translation>
    </message>
    <message>
        <source>This photo is inside the destination folder: a run does not take it.</source>
        <translation>Dieses Foto liegt im Zielordner: ein Lauf nimmt es nicht.</translation>
    </message>
    <message>
        <source>Save with folders</source>
        <translation>Mit Ordnern speichern</translation>
    </message>
</context>
<context>
    <name>vellumar::TfrmOutputOptions</name>
    <message>
        <source>Smooth</source>
        <translation>Glatt</translation>
    </message>
    <message>
        <source>Nearest (exact)</source>
        <translation>Nächster Nachbar (exakt)</translation>
    </message>
    <message>
        <source>%1, long edge %2 px</source>
        <translation>%1, lange Seite %2 px</translation>
    </message>
    <message>
        <source>%1, fit inside %2 x %3 px</source>
        <translation>%1, eingepasst in %2 x %3 px</translation>
    </message>
    <message>
        <source>%1, by the percentage</source>
        <translation>%1, nach dem Prozentsatz</translation>
    </message>
    <message>
        <source>(prefix, number and suffix of the main window)</source>
        <translation>(Präfix, Nummer und Suffix des Hauptfensters)</translation>
    </message>
    <message>
        <source>Name template: %1</source>
        <translation>Namensvorlage: %1</translation>
    </message>
    <message>
        <source>Name template: a file name cannot hold &quot;/&quot;</source>
        <translation>Namensvorlage: ein Dateiname darf kein „/“ enthalten</translation>
    </message>
    <message>
        <source>Variants: &quot;%1&quot; is given twice</source>
        <translation>Varianten: „%1“ ist doppelt angegeben</translation>
    </message>
    <message>
        <source>Variants: %1</source>
        <translation>Varianten: %1</translation>
    </message>
</context>
<context>
    <name>vellumar::TfrmPlan</name>
    <message numerus="yes">
        <source>%n photos into %1</source>
        <translation>
            <numerusform>%n Foto nach %1</numerusform>
            <numerusform>%n Fotos nach %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n would replace a file</source>
        <translation>
            <numerusform>; %n würde eine Datei ersetzen</numerusform>
            <numerusform>; %n würden eine Datei ersetzen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n cannot be read</source>
        <translation>
            <numerusform>; %n ist nicht lesbar</numerusform>
            <numerusform>; %n sind nicht lesbar</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n photos; no destination folder is chosen</source>
        <translation>
            <numerusform>%n Foto; kein Zielordner gewählt</numerusform>
            <numerusform>%n Fotos; kein Zielordner gewählt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; %n skipped, their outputs exist</source>
        <translation>
            <numerusform>; %n übersprungen, seine Ausgabe existiert</numerusform>
            <numerusform>; %n übersprungen, ihre Ausgaben existieren</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vellumar::TfrmPreview</name>
    <message>
        <source>%1 x %2 pixels</source>
        <translation>%1 x %2 Pixel</translation>
    </message>
    <message>
        <source>? pixels</source>
        <translation>? Pixel</translation>
    </message>
    <message>
        <source>Making the preview...</source>
        <translation>Die Vorschau wird erstellt …</translation>
    </message>
    <message>
        <source>  →  output %1, %2</source>
        <translation>  →  Ausgabe %1, %2</translation>
    </message>
    <message numerus="yes">
        <source>Estimate for the whole run (%n photos): about %1, from %2 sampled photos.</source>
        <translation>
            <numerusform>Schätzung für den ganzen Lauf (%n Foto): etwa %1, aus %2 Stichprobenfotos.</numerusform>
            <numerusform>Schätzung für den ganzen Lauf (%n Fotos): etwa %1, aus %2 Stichprobenfotos.</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Reading the photo...</source>
        <translation>Das Foto wird gelesen...</translation>
    </message>
    <message>
        <source>Making the output...</source>
        <translation>Die Ausgabe wird erstellt...</translation>
    </message>
    <message>
        <source>This photo writes no output.</source>
        <translation>Dieses Foto schreibt keine Ausgabe.</translation>
    </message>
    <message>
        <source>  →  </source>
        <translation>  →  </translation>
    </message>
</context>
</TS>
