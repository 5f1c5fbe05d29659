-- Sample standard for forest maps (SQLite form of "StandardGXD.mdb").
-- The build turns this text into build/bin/StandardGXD.mdb, the default standard
-- beside the programs. Yes/No columns hold -1 (yes) and 0 (no), as Access does.
-- Saved queries (Dotazy) are Access SQL; they work on the attribute table under
-- check, which they see as "TestTab", and may read the other tables here.

CREATE TABLE Podpis (
  Popis TEXT COLLATE NOCASE,
  IDDB TEXT COLLATE NOCASE,
  Verzia TEXT COLLATE NOCASE
);
INSERT INTO Podpis VALUES ('Štandard GXD pre lesnícke mapy – vzorový', '#S#t#d#G#X#D#', '1.1');

CREATE TABLE Vrstvy (
  Vrstva TEXT COLLATE NOCASE,
  Nazov TEXT COLLATE NOCASE,
  LenPlochy INTEGER NOT NULL DEFAULT 0
);
INSERT INTO Vrstvy VALUES
  ('LE', 'lesnícke hranice a prvky', 0),
  ('PO', 'porastová mapa', -1),
  ('HR', 'hranice správnych celkov', 0),
  ('SL', 'sídla a stavby', 0),
  ('CE', 'cestná sieť', 0),
  ('VO', 'vodstvo', 0);

CREATE TABLE Prvky (
  Typ TEXT COLLATE NOCASE,
  Kod INTEGER,
  Vrstvy TEXT COLLATE NOCASE,
  Uhol0 INTEGER NOT NULL DEFAULT 0,
  Popis TEXT COLLATE NOCASE
);
INSERT INTO Prvky VALUES
  ('L', 1, 'LE,PO', 0, 'hranica porastu'),
  ('L', 2, 'LE,PO', 0, 'hranica dielca'),
  ('L', 3, 'LE,PO,HR', 0, 'hranica oddielu'),
  ('L', 4, 'LE,HR', 0, 'hranica lesného celku'),
  ('L', 10, 'HR', 0, 'štátna hranica'),
  ('L', 11, 'HR', 0, 'hranica katastrálneho územia'),
  ('L', 20, 'CE', 0, 'cesta I. a II. triedy'),
  ('L', 21, 'CE,LE', 0, 'lesná cesta'),
  ('L', 22, 'CE,LE', 0, 'zvážnica'),
  ('L', 30, 'VO,LE', 0, 'vodný tok'),
  ('L', 31, 'VO', 0, 'kanál'),
  ('L', 40, 'SL', 0, 'elektrické vedenie'),
  ('B', 1, 'HR,LE', 0, 'hraničný kameň'),
  ('B', 2, 'HR,SL', -1, 'trigonometrický bod'),
  ('B', 5, 'VO,LE', -1, 'prameň'),
  ('B', 6, 'VO', -1, 'studňa'),
  ('B', 7, 'LE', 0, 'posed'),
  ('B', 8, 'SL,LE', 0, 'chata'),
  ('P', 1, 'PO,LE', 0, 'porast'),
  ('P', 2, 'PO,LE', 0, 'holina'),
  ('P', 3, 'PO,LE', 0, 'bezlesie'),
  ('P', 10, 'VO,PO', 0, 'vodná plocha'),
  ('P', 20, 'SL', 0, 'zastavaná plocha'),
  ('T', 1, 'PO,LE', -1, 'číslo porastu'),
  ('T', 2, 'LE,SL,HR', 0, 'názov lokality'),
  ('T', 3, 'VO', 0, 'názov toku'),
  ('T', 4, 'CE', -1, 'číslo cesty');

-- Attribute fields of each kind's table, per layer. Typ is a dBASE type letter.
CREATE TABLE DBAtrib (
  Typ_Prvok TEXT COLLATE NOCASE,
  Kod_Prvok INTEGER,
  Vrstvy TEXT COLLATE NOCASE,
  Meno TEXT COLLATE NOCASE,
  Typ TEXT COLLATE NOCASE,
  Velkost INTEGER,
  Deci INTEGER,
  Poradie INTEGER,
  QFormat TEXT COLLATE NOCASE,
  QGenerate TEXT COLLATE NOCASE,
  QTest TEXT COLLATE NOCASE
);
INSERT INTO DBAtrib VALUES
  -- Every table holds the element number first: the saved queries report rows by it.
  ('L', 1, 'LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('L', 21, 'CE,LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('L', 30, 'VO,LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('B', 1, 'HR,LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('P', 1, 'PO,LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('P', 2, 'PO,LE', 'CISLO', 'N', 10, 0, 0, NULL, NULL, NULL),
  ('L', 1, 'LE', 'TYP_HRAN', 'C', 2, 0, 1, 'qFmtTypHran', NULL, 'qTestTypHran'),
  ('L', 21, 'CE,LE', 'TRIEDA', 'C', 2, 0, 1, 'qFmtTrieda', NULL, 'qTestTrieda'),
  ('L', 21, 'CE,LE', 'SIRKA', 'F', 6, 1, 2, NULL, NULL, 'qTestSirka'),
  ('L', 30, 'VO,LE', 'NAZOV', 'C', 40, 0, 1, 'qFmtNazov', NULL, NULL),
  ('L', 30, 'VO,LE', 'POVODIE', 'C', 12, 0, 2, NULL, NULL, NULL),
  ('B', 1, 'HR,LE', 'CISLOKAM', 'C', 8, 0, 1, NULL, NULL, 'qTestKamen'),
  ('B', 1, 'HR,LE', 'OVERENY', 'L', 1, 0, 2, NULL, 'qGenOvereny', NULL),
  ('P', 1, 'PO,LE', 'PORAST', 'C', 10, 0, 1, 'qFmtPorast', NULL, 'qTestPorast'),
  ('P', 1, 'PO,LE', 'PLOCHA', 'N', 12, 4, 2, NULL, 'qGenPlocha', 'qTestPlocha'),
  ('P', 1, 'PO,LE', 'DREVINA', 'C', 4, 0, 3, 'qFmtDrevina', NULL, 'qTestDrevina'),
  ('P', 1, 'PO,LE', 'VEK', 'N', 3, 0, 4, NULL, NULL, 'qTestVek'),
  ('P', 1, 'PO,LE', 'DATUM', 'D', 8, 0, 5, NULL, NULL, NULL),
  ('P', 2, 'PO,LE', 'PORAST', 'C', 10, 0, 1, 'qFmtPorast', NULL, 'qTestPorast'),
  ('P', 2, 'PO,LE', 'PLOCHA', 'N', 12, 4, 2, NULL, 'qGenPlocha', 'qTestPlocha');

-- Tree species codes, read by qTestDrevina.
CREATE TABLE Dreviny (
  Kod TEXT COLLATE NOCASE,
  Nazov TEXT COLLATE NOCASE
);
INSERT INTO Dreviny VALUES
  ('SM', 'smrek'), ('JD', 'jedľa'), ('BO', 'borovica'), ('SC', 'smrekovec'),
  ('BK', 'buk'), ('DB', 'dub'), ('HB', 'hrab'), ('JS', 'jaseň'),
  ('JV', 'javor'), ('BR', 'breza'), ('LP', 'lipa'), ('AG', 'agát');

-- Saved queries, Access SQL.
CREATE TABLE Dotazy (
  Nazov TEXT COLLATE NOCASE,
  SQL TEXT
);
INSERT INTO Dotazy VALUES
  ('qFmtTypHran', 'UPDATE TestTab SET TestTab.TYP_HRAN = UCase(Trim([TYP_HRAN])) WHERE TestTab.TYP_HRAN Is Not Null;'),
  ('qTestTypHran', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.TYP_HRAN Is Null Or TestTab.TYP_HRAN Not In ("PH","DH","OH");'),
  ('qFmtTrieda', 'UPDATE TestTab SET TestTab.TRIEDA = UCase([TRIEDA]);'),
  ('qTestTrieda', 'SELECT TestTab.Cislo FROM TestTab WHERE Nz(TestTab.TRIEDA, "") Not In ("1L","2L","3L","ZV");'),
  ('qTestSirka', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.SIRKA Is Null Or TestTab.SIRKA < 2.5;'),
  ('qFmtNazov', 'UPDATE TestTab SET TestTab.NAZOV = UCase(Left(Trim([NAZOV]), 1)) & Mid(Trim([NAZOV]), 2) WHERE Len(Trim(TestTab.NAZOV)) > 0;'),
  ('qTestKamen', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.CISLOKAM Is Null Or TestTab.CISLOKAM Not Like "K-####*";'),
  ('qGenOvereny', 'UPDATE TestTab SET TestTab.OVERENY = False WHERE TestTab.OVERENY Is Null;'),
  ('qFmtPorast', 'UPDATE TestTab SET TestTab.PORAST = UCase(Trim([PORAST])) WHERE TestTab.PORAST Is Not Null;'),
  ('qTestPorast', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PORAST Is Null Or Not (TestTab.PORAST Like "#*");'),
  ('qGenPlocha', 'UPDATE TestTab SET TestTab.PLOCHA = 0 WHERE TestTab.PLOCHA Is Null;'),
  ('qTestPlocha', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.PLOCHA <= 0 Or TestTab.PLOCHA > 1000;'),
  ('qFmtDrevina', 'UPDATE TestTab SET TestTab.DREVINA = UCase(Left(Trim([DREVINA]), 4)) WHERE TestTab.DREVINA Is Not Null;'),
  ('qTestDrevina', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.DREVINA Is Null Or TestTab.DREVINA Not In (SELECT Kod FROM Dreviny);'),
  ('qTestVek', 'SELECT TestTab.Cislo FROM TestTab WHERE TestTab.VEK Is Null Or TestTab.VEK Not Between 1 And 200;');
