-- The SQLite form of StandardGXD.mdb (the Jet test standard): the same tables,
-- values and saved queries.
CREATE TABLE Podpis (Popis TEXT COLLATE NOCASE, IDDB TEXT COLLATE NOCASE);
INSERT INTO Podpis VALUES ('Štandard GXD – skúšobný', '#S#t#d#G#X#D#');

CREATE TABLE Vrstvy (Vrstva TEXT COLLATE NOCASE, LenPlochy INTEGER);
INSERT INTO Vrstvy VALUES ('LE', 0), ('po', -1), ('HR', 0), ('SL', 0), ('CE', 0), ('ABC', 0);

CREATE TABLE Prvky (Typ TEXT COLLATE NOCASE, Kod INTEGER, Vrstvy TEXT COLLATE NOCASE, Uhol0 INTEGER);
INSERT INTO Prvky VALUES
  ('L', 1, 'LE,PO', 0), ('L', 2, 'LE', 0), ('l', 7, 'le', 0), ('L', 12, 'HR;CE', 0),
  ('B', 5, 'LE', -1), ('B', 6, 'LE HR', 0), ('T', 3, 'LE', -1), ('T', 4, 'PO', 0),
  ('P', 10, 'PO,LE', 0), ('P', 11, 'PO', 0), ('X', 1, 'LE', 0), ('L', 20, '', 0), ('L', 21, NULL, 0);

CREATE TABLE DBAtrib (Typ_Prvok TEXT COLLATE NOCASE, Kod_Prvok INTEGER, Vrstvy TEXT COLLATE NOCASE,
  Meno TEXT COLLATE NOCASE, Typ TEXT COLLATE NOCASE, Velkost INTEGER, Deci INTEGER, Poradie INTEGER,
  QFormat TEXT COLLATE NOCASE, QGenerate TEXT COLLATE NOCASE, QTest TEXT COLLATE NOCASE);
INSERT INTO DBAtrib VALUES
  ('P', 10, 'PO,LE', 'JPRL', 'C', 20, 0, 1, 'qFmtJprl', NULL, 'qTestJprl'),
  ('P', 10, 'PO,LE', 'PLOCHA_HA', 'N', 12, 2, 2, NULL, 'qGenPlocha', 'qTestPlocha'),
  ('P', 10, 'PO,LE', 'DATUM', 'D', 8, 0, 3, NULL, NULL, NULL),
  ('L', 1, 'LE', 'TYP', 'C', 5, 0, 1, NULL, NULL, 'qTestTyp'),
  ('B', 5, 'LE', 'OZNAC', 'C', 10, 0, 1, NULL, NULL, NULL),
  ('B', 5, 'LE', 'VYSKA', 'F', 8, 1, 2, NULL, NULL, 'qTestTyp');

CREATE TABLE Dotazy (Nazov TEXT COLLATE NOCASE, SQL TEXT);
INSERT INTO Dotazy VALUES
  ('qFmtJprl', 'UPDATE TestTab SET TestTab.JPRL = UCase(Trim([JPRL]));'),
  ('qGenPlocha', 'UPDATE TestTab SET TestTab.PLOCHA_HA = 0 WHERE TestTab.PLOCHA_HA Is Null;'),
  ('qTestJprl', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.JPRL Is Null Or Len(TestTab.JPRL)=0;'),
  ('qTestPlocha', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PLOCHA_HA<=0;'),
  ('qTestTyp', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.TYP Not In ("A","B","C");');
