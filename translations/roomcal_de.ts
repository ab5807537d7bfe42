<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CalibrationListModel</name>
    <message>
        <source>not adopted by the controller: %1</source>
        <translation>vom Controller nicht übernommen: %1</translation>
    </message>
    <message>
        <source>#</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Cameras</source>
        <translation>Kameras</translation>
    </message>
    <message>
        <source>Wand residual</source>
        <translation>Stab-Residuum</translation>
    </message>
    <message>
        <source>Wand range</source>
        <translation>Stab-Spannweite</translation>
    </message>
    <message>
        <source>Worst camera</source>
        <translation>Schlechteste Kamera</translation>
    </message>
    <message>
        <source>Flags</source>
        <translation>Hinweise</translation>
    </message>
</context>
<context>
    <name>CalibrationProgressDialog</name>
    <message>
        <source>Calibration Progress</source>
        <translation>Kalibrierfortschritt</translation>
    </message>
    <message>
        <source>Follows the running calibration: the overall progress, the time left in the current step and, per camera, how far its own calibration has got.</source>
        <translation>Verfolgt die laufende Kalibrierung: den Gesamtfortschritt, die Restzeit des aktuellen Schritts und für jede Kamera, wie weit ihre eigene Kalibrierung ist.</translation>
    </message>
    <message>
        <source>The kind of calibration that is running.</source>
        <translation>Die Art der laufenden Kalibrierung.</translation>
    </message>
    <message>
        <source>room calibration</source>
        <translation>Raumkalibrierung</translation>
    </message>
    <message>
        <source>Overall progress of the calibration.</source>
        <translation>Gesamtfortschritt der Kalibrierung.</translation>
    </message>
    <message>
        <source>Estimated time left in the current calibration step.</source>
        <translation>Geschätzte Restzeit des aktuellen Kalibrierschritts.</translation>
    </message>
    <message>
        <source>remaining time: </source>
        <translation>Restzeit: </translation>
    </message>
    <message>
        <source>Stops the calibration and discards what was measured so far.</source>
        <translation>Bricht die Kalibrierung ab und verwirft die bisherigen Messungen.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The cameras of the system. When they do not all fit on the screen, scroll to see the others.</source>
        <translation>Die Kameras des Systems. Passen nicht alle auf den Bildschirm, lassen sich die übrigen durch Blättern anzeigen.</translation>
    </message>
</context>
<context>
    <name>CalibrationProgressDlg</name>
    <message>
        <source> is a %1 step calibration.</source>
        <translation> ist eine Kalibrierung in %1 Schritten.</translation>
    </message>
    <message>
        <source>
Currently this calibration cannot be interrupted!</source>
        <translation>
Diese Kalibrierung kann derzeit nicht unterbrochen werden!</translation>
    </message>
    <message>
        <source>calculating...</source>
        <translation>wird berechnet …</translation>
    </message>
    <message>
        <source>remaining time: %1 seconds</source>
        <translation>Restzeit: %1 Sekunden</translation>
    </message>
    <message>
        <source>Calibration Error</source>
        <translation>Kalibrierfehler</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;Please move the wand in the view scope of ALL cameras!&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Bitte den Stab im Sichtbereich ALLER Kameras bewegen!&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;The controller does not answer&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Der Controller antwortet nicht&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
</context>
<context>
    <name>CameraStatus</name>
    <message>
        <source>One camera: its number, serial number, the 2D monitor tab that shows it and its own calibration progress. A thick border marks a camera that the 2D monitor reports as most active.</source>
        <translation>Eine Kamera: ihre Nummer, ihre Seriennummer, die Registerkarte des 2D-Monitors, die sie zeigt, und ihr eigener Kalibrierfortschritt. Ein dicker Rahmen kennzeichnet eine Kamera, die der 2D-Monitor als am aktivsten meldet.</translation>
    </message>
    <message>
        <source>The 2D monitor tab on which this camera is shown.</source>
        <translation>Die Registerkarte des 2D-Monitors, auf der diese Kamera zu sehen ist.</translation>
    </message>
    <message>
        <source>The serial number of the camera.</source>
        <translation>Die Seriennummer der Kamera.</translation>
    </message>
    <message>
        <source>How far the calibration has got for this camera. The bar turns green when the camera is complete.</source>
        <translation>Wie weit die Kalibrierung für diese Kamera ist. Der Balken wird grün, sobald die Kamera fertig ist.</translation>
    </message>
    <message>
        <source>tab %1</source>
        <translation>Tab %1</translation>
    </message>
</context>
<context>
    <name>CameraTableModel</name>
    <message>
        <source>from c%1 </source>
        <translation>von c%1 </translation>
    </message>
    <message>
        <source>new</source>
        <translation>neu</translation>
    </message>
    <message>
        <source>Slot</source>
        <translation>Platz</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Serien-Nr.</translation>
    </message>
    <message>
        <source>Residual</source>
        <translation>Residuum</translation>
    </message>
    <message>
        <source>Used</source>
        <translation>Genutzt</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Änderung</translation>
    </message>
    <message>
        <source>Flags</source>
        <translation>Hinweise</translation>
    </message>
</context>
<context>
    <name>CountdownDialog</name>
    <message>
        <source>Waiting</source>
        <translation>Warten</translation>
    </message>
    <message>
        <source>Counts the seconds until the calibration starts.</source>
        <translation>Zählt die Sekunden bis zum Start der Kalibrierung.</translation>
    </message>
    <message>
        <source>Seconds left before the calibration starts.</source>
        <translation>Sekunden bis zum Start der Kalibrierung.</translation>
    </message>
    <message>
        <source>Starts the calibration without waiting for the end of the countdown.</source>
        <translation>Startet die Kalibrierung, ohne das Ende des Countdowns abzuwarten.</translation>
    </message>
    <message>
        <source>Start now</source>
        <translation>Jetzt starten</translation>
    </message>
    <message>
        <source>Does not start the calibration.</source>
        <translation>Startet die Kalibrierung nicht.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>HealthRules</name>
    <message>
        <source>residual %1 above %2 × the median %3 of the other cameras</source>
        <translation>Residuum %1 über dem %2-Fachen des Medians %3 der übrigen Kameras</translation>
    </message>
    <message>
        <source>used share %1 below %2</source>
        <translation>genutzter Anteil %1 unter %2</translation>
    </message>
    <message>
        <source>camera %1 is new in slot c%2</source>
        <translation>Kamera %1 ist neu auf Platz c%2</translation>
    </message>
    <message>
        <source>camera %1 moved from c%2 to c%3</source>
        <translation>Kamera %1 ist von c%2 nach c%3 gewechselt</translation>
    </message>
    <message>
        <source>camera %1 of slot c%2 is gone</source>
        <translation>Kamera %1 auf Platz c%2 fehlt</translation>
    </message>
    <message>
        <source>residual %1 above %2 × its median %3 of the last %4 calibrations</source>
        <translation>Residuum %1 über dem %2-Fachen ihres Medians %3 der letzten %4 Kalibrierungen</translation>
    </message>
    <message>
        <source>wand residual %1 above %2 × its median %3 of the last %4 calibrations</source>
        <translation>Stab-Residuum %1 über dem %2-Fachen seines Medians %3 der letzten %4 Kalibrierungen</translation>
    </message>
    <message>
        <source>outlier</source>
        <translation>Ausreißer</translation>
    </message>
    <message>
        <source>low used share</source>
        <translation>geringer genutzter Anteil</translation>
    </message>
    <message>
        <source>drift</source>
        <translation>Drift</translation>
    </message>
    <message>
        <source>wand drift</source>
        <translation>Stab-Drift</translation>
    </message>
    <message>
        <source>added</source>
        <translation>hinzugekommen</translation>
    </message>
    <message>
        <source>removed</source>
        <translation>entfernt</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>umgesetzt</translation>
    </message>
</context>
<context>
    <name>HistoryExport</name>
    <message>
        <source>not adopted</source>
        <translation>nicht übernommen</translation>
    </message>
    <message>
        <source>incomplete</source>
        <translation>unvollständig</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>Calibration history</source>
        <translation>Kalibrierverlauf</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Reload</source>
        <translation>&amp;Neu laden</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>&amp;Exportieren …</translation>
    </message>
    <message>
        <source>Save &amp;chart as PNG…</source>
        <translation>&amp;Diagramm als PNG speichern …</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>&amp;Calibration</source>
        <translation>&amp;Kalibrierung</translation>
    </message>
    <message>
        <source>&amp;Restore…</source>
        <translation>&amp;Wiederherstellen …</translation>
    </message>
    <message>
        <source>Actions</source>
        <translation>Aktionen</translation>
    </message>
    <message>
        <source>Cameras shown in the chart</source>
        <translation>Im Diagramm gezeigte Kameras</translation>
    </message>
    <message>
        <source>Needs a controller connection (--controller HOST:PORT)</source>
        <translation>Erfordert eine Verbindung zum Controller (--controller HOST:PORT)</translation>
    </message>
    <message>
        <source>No calibration has been recorded yet.</source>
        <translation>Es wurde noch keine Kalibrierung aufgezeichnet.</translation>
    </message>
    <message>
        <source>There is no calibration record yet.</source>
        <translation>Es gibt noch keine Kalibrierungsaufzeichnung.</translation>
    </message>
    <message>
        <source>Every accepted room calibration is appended to
%1
This window shows it as soon as it appears.</source>
        <translation>Jede übernommene Raumkalibrierung wird angehängt an
%1
Dieses Fenster zeigt sie, sobald sie dort erscheint.</translation>
    </message>
    <message>
        <source>line %1: %2: %3</source>
        <translation>Zeile %1: %2: %3</translation>
    </message>
    <message>
        <source>%1 calibrations, %2 lines skipped in %3</source>
        <translation>%1 Kalibrierungen, %2 Zeilen übersprungen in %3</translation>
    </message>
    <message>
        <source>Wand</source>
        <translation>Stab</translation>
    </message>
    <message>
        <source>%1 (flagged)</source>
        <translation>%1 (auffällig)</translation>
    </message>
    <message>
        <source>Residual per calibration</source>
        <translation>Residuum je Kalibrierung</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>Residual</source>
        <translation>Residuum</translation>
    </message>
    <message>
        <source>Export calibration history</source>
        <translation>Kalibrierverlauf exportieren</translation>
    </message>
    <message>
        <source>CSV (*.csv);;JSON (*.json)</source>
        <translation>CSV (*.csv);;JSON (*.json)</translation>
    </message>
    <message>
        <source>Cannot write %1.</source>
        <translation>%1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Save chart</source>
        <translation>Diagramm speichern</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG-Bild (*.png)</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Wiederherstellen</translation>
    </message>
    <message>
        <source>Put calibration %1 of %2 back on configuration %3?

The current calibration is kept and comes back if anything fails.</source>
        <translation>Kalibrierung %1 vom %2 in der Konfiguration %3 wiederherstellen?

Die aktuelle Kalibrierung wird gesichert und zurückgespielt, falls etwas fehlschlägt.</translation>
    </message>
    <message>
        <source>Cameras: %1

%2</source>
        <translation>Kameras: %1

%2</translation>
    </message>
</context>
<context>
    <name>RecordParser</name>
    <message>
        <source>before the first calibration</source>
        <translation>vor der ersten Kalibrierung</translation>
    </message>
    <message>
        <source>command out of camera order</source>
        <translation>Befehl außerhalb der Kamerareihenfolge</translation>
    </message>
    <message>
        <source>wand line out of order</source>
        <translation>Stab-Zeile an falscher Stelle</translation>
    </message>
    <message>
        <source>wand values not readable</source>
        <translation>Stab-Werte nicht lesbar</translation>
    </message>
    <message>
        <source>not part of a calibration record</source>
        <translation>gehört zu keiner Kalibrierungsaufzeichnung</translation>
    </message>
    <message>
        <source>camera line out of order</source>
        <translation>Kamerazeile an falscher Stelle</translation>
    </message>
    <message>
        <source>calibration %1 is incomplete in the record</source>
        <translation>Kalibrierung %1 ist in der Aufzeichnung unvollständig</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>%1 kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>the record file changed since it was read; reload it</source>
        <translation>die Aufzeichnungsdatei hat sich seit dem Lesen geändert; bitte neu laden</translation>
    </message>
</context>
<context>
    <name>RoomCalModule</name>
    <message>
        <source>GUI Room Calibration</source>
        <translation>GUI-Raumkalibrierung</translation>
    </message>
    <message>
        <source>&amp;Tracking</source>
        <translation>&amp;Tracking</translation>
    </message>
    <message>
        <source>&amp;Room calibration</source>
        <translation>&amp;Raumkalibrierung</translation>
    </message>
    <message>
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message>
        <source>Perform a new room calibration</source>
        <translation>Eine neue Raumkalibrierung durchführen</translation>
    </message>
</context>
<context>
    <name>RoomCalibrationDialog</name>
    <message>
        <source>Reference Set M</source>
        <translation>Referenzsatz M</translation>
    </message>
    <message>
        <source>expert</source>
        <translation>Experte</translation>
    </message>
    <message>
        <source>Reference Set P</source>
        <translation>Referenzsatz P</translation>
    </message>
    <message>
        <source>Reference Set S</source>
        <translation>Referenzsatz S</translation>
    </message>
    <message>
        <source>Reference Set S (active)</source>
        <translation>Referenzsatz S (aktiv)</translation>
    </message>
    <message>
        <source>Reference Set M (flat)</source>
        <translation>Referenzsatz M (flach)</translation>
    </message>
    <message>
        <source>Reference Set M (high)</source>
        <translation>Referenzsatz M (hoch)</translation>
    </message>
    <message>
        <source>Reference Set L</source>
        <translation>Referenzsatz L</translation>
    </message>
    <message>
        <source>static</source>
        <translation>statisch</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>bewegt</translation>
    </message>
    <message>
        <source>normal</source>
        <translation>normal</translation>
    </message>
    <message>
        <source>powerwall</source>
        <translation>Powerwall</translation>
    </message>
    <message>
        <source>powerwall standing</source>
        <translation>Powerwall stehend</translation>
    </message>
    <message>
        <source>mid_camera</source>
        <extracomment>The controller&apos;s name of the camera-defined type, compared with the row&apos;s data: keep it exactly as it is.</extracomment>
        <translation>mid_camera</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;Tracking is not available!&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Tracking ist nicht verfügbar!&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;font color=red&gt;Room calibration duration differs from the default of %1 s!&lt;/font&gt;</source>
        <translation>&lt;font color=red&gt;Die Dauer der Raumkalibrierung weicht vom Standardwert %1 s ab!&lt;/font&gt;</translation>
    </message>
    <message>
        <source>MORVEK3</source>
        <translation>MORVEK3</translation>
    </message>
    <message>
        <source>The controller did not adopt the new room calibration and kept its previous calibration.

Answer of the controller: %1</source>
        <translation>Der Controller hat die neue Raumkalibrierung nicht übernommen und die bisherige Kalibrierung beibehalten.

Antwort des Controllers: %1</translation>
    </message>
    <message>
        <source>(no answer)</source>
        <translation>(keine Antwort)</translation>
    </message>
</context>
<context>
    <name>RoomCalibrationResultDialog</name>
    <message>
        <source>Room Calibration Result</source>
        <translation>Ergebnis der Raumkalibrierung</translation>
    </message>
    <message>
        <source>Room calibration result dialog</source>
        <translation>Dialog mit dem Ergebnis der Raumkalibrierung</translation>
    </message>
    <message>
        <source>cameras</source>
        <translation>Kameras</translation>
    </message>
    <message>
        <source>The mean residual for each camera and percentage of valid data used for room calibration</source>
        <translation>Das mittlere Residuum jeder Kamera und der Anteil gültiger Daten, der für die Raumkalibrierung verwendet wurde</translation>
    </message>
    <message>
        <source>wand residual</source>
        <translation>Stab-Residuum</translation>
    </message>
    <message>
        <source>The mean deviation of wand length during the calibration process</source>
        <translation>Die mittlere Abweichung der Stablänge während der Kalibrierung</translation>
    </message>
    <message>
        <source>wand range</source>
        <translation>Stab-Spannweite</translation>
    </message>
    <message>
        <source>The maximum deviation of wand length during the calibration process </source>
        <translation>Die größte Abweichung der Stablänge während der Kalibrierung</translation>
    </message>
    <message>
        <source>Accept the recent room calibration. </source>
        <translation>Die eben durchgeführte Raumkalibrierung übernehmen.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Reject the recent room calibration. </source>
        <translation>Die eben durchgeführte Raumkalibrierung verwerfen.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>RoomCalibrationResultDlg</name>
    <message>
        <source>Camera</source>
        <translation>Kamera</translation>
    </message>
    <message>
        <source>Residual</source>
        <translation>Residuum</translation>
    </message>
    <message>
        <source>Used Frames</source>
        <translation>Genutzte Bilder</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;Accept this room calibration will reset the room adjustment.&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Wird diese Raumkalibrierung übernommen, wird die Raumjustierung zurückgesetzt.&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;This result holds no measurement: no camera used any frame.&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Dieses Ergebnis enthält keine Messung: Keine Kamera hat ein Bild genutzt.&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
</context>
<context>
    <name>RoomcalPortDlg</name>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Owner</source>
        <translation>Besitzer</translation>
    </message>
    <message>
        <source>Locked</source>
        <translation>Gesperrt</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswahl</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>&lt;b&gt;&lt;font color=red&gt;Active configuration has no valid room calibration!&lt;/font&gt;&lt;/b&gt;</source>
        <translation>&lt;b&gt;&lt;font color=red&gt;Die aktive Konfiguration hat keine gültige Raumkalibrierung!&lt;/font&gt;&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>No configuration selected!</source>
        <translation>Keine Konfiguration ausgewählt!</translation>
    </message>
    <message>
        <source>Transfer room calibration</source>
        <translation>Raumkalibrierung übertragen</translation>
    </message>
    <message>
        <source>Change room calibration of the selected configurations?</source>
        <translation>Die Raumkalibrierung der ausgewählten Konfigurationen ändern?</translation>
    </message>
    <message>
        <source>This procedure cannot be reverted!</source>
        <translation>Dieser Vorgang kann nicht rückgängig gemacht werden!</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Error(s) occoured during transferring the room calibration.

Please check your active configuration.</source>
        <translation>Beim Übertragen der Raumkalibrierung sind Fehler aufgetreten.

Bitte prüfen Sie die aktive Konfiguration.</translation>
    </message>
    <message>
        <source>Room calibration successfully transferred to the following configuration(s):
	</source>
        <translation>Die Raumkalibrierung wurde erfolgreich in folgende Konfiguration(en) übertragen:
	</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <source>Number of cameras has changed.
Unable to transfer the roomcalibration</source>
        <translation>Die Anzahl der Kameras hat sich geändert.
Die Raumkalibrierung kann nicht übertragen werden</translation>
    </message>
</context>
<context>
    <name>RoomcalPortDlgClass</name>
    <message>
        <source>Transfer Room Calibration</source>
        <translation>Raumkalibrierung übertragen</translation>
    </message>
    <message>
        <source>Transfer the room calibration to the selected configurations</source>
        <translation>Die Raumkalibrierung in die ausgewählten Konfigurationen übertragen</translation>
    </message>
    <message>
        <source>Active configuration</source>
        <translation>Aktive Konfiguration</translation>
    </message>
    <message>
        <source>active configuration</source>
        <translation>aktive Konfiguration</translation>
    </message>
    <message>
        <source>Apply room calibration of the active configuration to selected configurations:</source>
        <translation>Raumkalibrierung der aktiven Konfiguration auf die ausgewählten Konfigurationen anwenden:</translation>
    </message>
    <message>
        <source>Available configurations (not active)</source>
        <translation>Verfügbare Konfigurationen (nicht aktiv)</translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation>&amp;Anwenden</translation>
    </message>
    <message>
        <source>Close the dialog</source>
        <translation>Den Dialog schließen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>Be&amp;enden</translation>
    </message>
</context>
<context>
    <name>roomCalibration</name>
    <message>
        <source>Room Calibration</source>
        <translation>Raumkalibrierung</translation>
    </message>
    <message>
        <source>wand length [mm]</source>
        <translation>Stablänge [mm]</translation>
    </message>
    <message>
        <source>Please enter the exact marker distance of the calibration wand which was delivered with your OLV tracking system. It is indicated on the wand&apos;s label. </source>
        <translation>Bitte den genauen Markerabstand des Kalibrierstabs eingeben, der mit Ihrem OLV-Trackingsystem geliefert wurde. Er steht auf dem Etikett des Stabs.</translation>
    </message>
    <message>
        <source>Visualization of the current selection. Please take notice of the axis&apos; signs. </source>
        <translation>Darstellung der aktuellen Auswahl. Bitte auf die Vorzeichen der Achsen achten.</translation>
    </message>
    <message>
        <source>recalibration does not affect the coordinate system type.</source>
        <translation>Die Nachkalibrierung ändert den Typ des Koordinatensystems nicht.</translation>
    </message>
    <message>
        <source>marker distances</source>
        <translation>Markerabstände</translation>
    </message>
    <message>
        <source>Please specify the angle tool which was delivered with your OLV tracking system. </source>
        <translation>Bitte den Kalibrierwinkel angeben, der mit Ihrem OLV-Trackingsystem geliefert wurde.</translation>
    </message>
    <message>
        <source>A (1-2) [mm]</source>
        <translation>A (1-2) [mm]</translation>
    </message>
    <message>
        <source>Mostly predefined. Otherwise enter the value which is indicated on the angle tool&apos;s label.  </source>
        <translation>Meist vorgegeben. Sonst den Wert vom Etikett des Kalibrierwinkels eingeben.</translation>
    </message>
    <message>
        <source>B (1-4) [mm]</source>
        <translation>B (1-4) [mm]</translation>
    </message>
    <message>
        <source>C (1-3) [mm]</source>
        <translation>C (1-3) [mm]</translation>
    </message>
    <message>
        <source>height [mm]</source>
        <translation>Höhe [mm]</translation>
    </message>
    <message>
        <source>Mostly predefined. Otherwise enter the value which is the height of the angle tool</source>
        <translation>Meist vorgegeben. Sonst die Höhe des Kalibrierwinkels eingeben.</translation>
    </message>
    <message>
        <source>coordinate system</source>
        <translation>Koordinatensystem</translation>
    </message>
    <message>
        <source>Select the way in which the angle tool defines the room coordinate system. See illustration above. </source>
        <translation>Wählen Sie, wie der Kalibrierwinkel das Raumkoordinatensystem festlegt. Siehe Abbildung oben.</translation>
    </message>
    <message>
        <source>Activate a re-calibration. The current orientation of the room coordinate system will be preserved.</source>
        <translation>Eine Nachkalibrierung durchführen. Die aktuelle Ausrichtung des Raumkoordinatensystems bleibt erhalten.</translation>
    </message>
    <message>
        <source>re-calibration (without angle tool)</source>
        <translation>Nachkalibrierung (ohne Kalibrierwinkel)</translation>
    </message>
    <message>
        <source>Select static cameras</source>
        <translation>Statische Kameras auswählen</translation>
    </message>
    <message>
        <source>select static cameras</source>
        <translation>statische Kameras auswählen</translation>
    </message>
    <message>
        <source>Select static cameras. Moved cameras are non-static</source>
        <translation>Statische Kameras auswählen. Bewegte Kameras sind nicht statisch</translation>
    </message>
    <message>
        <source>duration [s]</source>
        <translation>Dauer [s]</translation>
    </message>
    <message>
        <source>Set the duration of the room calibration manually.</source>
        <translation>Die Dauer der Raumkalibrierung von Hand festlegen.</translation>
    </message>
    <message>
        <source>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;Sans Serif&apos;; font-size:8pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Set the duration of the room calibration to the default value of 30 seconds&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;!DOCTYPE HTML PUBLIC &quot;-//W3C//DTD HTML 4.0//EN&quot; &quot;http://www.w3.org/TR/REC-html40/strict.dtd&quot;&gt;
&lt;html&gt;&lt;head&gt;&lt;meta name=&quot;qrichtext&quot; content=&quot;1&quot; /&gt;&lt;style type=&quot;text/css&quot;&gt;
p, li { white-space: pre-wrap; }
&lt;/style&gt;&lt;/head&gt;&lt;body style=&quot; font-family:&apos;Sans Serif&apos;; font-size:8pt; font-weight:400; font-style:normal;&quot;&gt;
&lt;p style=&quot; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; text-indent:0px;&quot;&gt;Die Dauer der Raumkalibrierung auf den Standardwert von 30 Sekunden setzen&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&amp;Set to default</source>
        <translation>Auf &amp;Standard setzen</translation>
    </message>
    <message>
        <source>date and time of the last room calibration: -</source>
        <translation>Datum und Uhrzeit der letzten Raumkalibrierung: -</translation>
    </message>
    <message>
        <source>Show or hide the details about room calibration.</source>
        <translation>Details zur Raumkalibrierung ein- oder ausblenden.</translation>
    </message>
    <message>
        <source>Show &amp;details</source>
        <translation>&amp;Details anzeigen</translation>
    </message>
    <message>
        <source>Transfer room calibration to other configurations</source>
        <translation>Die Raumkalibrierung in andere Konfigurationen übertragen</translation>
    </message>
    <message>
        <source>&amp;Transfer</source>
        <translation>&amp;Übertragen</translation>
    </message>
    <message>
        <source>Start the room calibration. </source>
        <translation>Die Raumkalibrierung starten.</translation>
    </message>
    <message>
        <source>&amp;Calibrate</source>
        <translation>&amp;Kalibrieren</translation>
    </message>
    <message>
        <source>Exit this dialog. </source>
        <translation>Diesen Dialog verlassen.</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>Be&amp;enden</translation>
    </message>
</context>
</TS>
